"""The end-to-end scenarios: each case is a list of steps (driver.py's op_
methods with their arguments), run against the real desktop program.

What the unit received is matched against the lines of its request log, the
request text between STX and the checksum ("0001w1ipf;1.234500;").
The program waits 7 s after a mode change or restore defaults and 1 s after
loading a slot: those steps are few and grouped.
"""

MAIN_TITLE = "Tavrin receiver control"
ADVANCED = "Advanced options"         # the full demodulator page
ENGINEERING = "Engineering options"
EVENT_LOG = "tavrin_rx_ctrl_events.log"
FILE_NAME_FIELD = "File name:"        # in the file dialog
LAMPS = ("Demod lock", "Reception", "Decoder lock")
BUTTON = "push button"


def lamps(described, negate=False, seconds=15):
    op = "not_description" if negate else "description"
    return [(op, lamp, described, seconds) for lamp in LAMPS]


# Start-up over RS232: the start-up scan finds the unit as COM1.
SERIAL_START = [
    ("sim", True, False),
    ("mark",),
    ("program",),
    ("received", r"^9999rgadd;;$", 30),
    ("label", "Connected", 30),
]

# Every window the main window opens, used and closed.
WINDOWS = [
    # The full demodulator page: a new input frequency, applied.
    ("click", BUTTON, "Advanced", MAIN_TITLE),
    ("window", ADVANCED),
    ("screenshot", ADVANCED, "e2e-advanced-window.png"),
    ("mark",),
    ("type_into", "Input frequency (MHz)", "1234.5", ADVANCED),
    ("click", BUTTON, "Apply", ADVANCED),
    ("received", r"^0001w1ipf;1\.234500;$"),
    ("close", ADVANCED),
    # The engineering window: a raw command, both tabs, closed and opened again.
    ("key", "ctrl+e", MAIN_TITLE),
    ("window", ENGINEERING),
    ("mark",),
    ("type_into", "Send address", "0001", ENGINEERING),
    ("type_into", "Command and data", "r1loc;;", ENGINEERING),
    ("click", BUTTON, "Send command", ENGINEERING),
    ("received", r"^0001r1loc;;$"),
    ("text", "text", None, ENGINEERING, "Sending: "),
    ("screenshot", ENGINEERING, "e2e-engineering-window.png"),
    ("click", "page tab", "Advanced options", ENGINEERING),
    ("selected", "Advanced options", ENGINEERING),
    ("click", "page tab", "Diagnostic", ENGINEERING),
    ("selected", "Diagnostic", ENGINEERING),
    ("close", ENGINEERING),
    ("menu", "Options", "Engineering"),
    ("active", ENGINEERING),
    ("activate", MAIN_TITLE),
    ("key", "ctrl+e", MAIN_TITLE),
    ("active", ENGINEERING),
    ("close", ENGINEERING),
    # Polling options, signal history, logo size, application title.
    ("key", "ctrl+l", MAIN_TITLE),
    ("window", "Polling options"),
    ("key", "Escape", "Polling options"),
    ("gone", "Polling options"),
    ("key", "ctrl+h", MAIN_TITLE),
    ("window", "Signal history"),
    ("close", "Signal history"),
    ("menu", "File", "Set logo size"),
    ("window", "Set logo dimensions"),
    ("click", BUTTON, "Cancel", "Set logo dimensions"),
    ("gone", "Set logo dimensions"),
    ("menu", "File", "Set application title"),
    ("window", "Enter value"),
    ("key", "ctrl+a", "Enter value"),
    ("type", "Receiver 7"),
    ("click", BUTTON, "OK", "Enter value"),
    ("window", "Receiver 7"),
    ("menu", "File", "Set application title"),
    ("window", "Enter value"),
    ("key", "ctrl+a", "Enter value"),
    ("type", MAIN_TITLE),
    ("key", "Return", "Enter value"),
    ("window", MAIN_TITLE),
    # A decryption key.
    ("mark",),
    ("key", "ctrl+k", MAIN_TITLE),
    ("window", "Write decryption key"),
    ("type", "0123abcd"),
    ("click", BUTTON, "OK", "Write decryption key"),
    ("gone", "Write decryption key"),
    ("received", r"^0001wzebs;0123abcd;$"),
    # A slot: tab "Config 3".
    ("mark",),
    ("click", "page tab", "Config 3", MAIN_TITLE),
    ("received", r"^0001wdloa;3;$"),
    ("received", r"^0001rdlas;;$"),
    ("selected", "Config 3", MAIN_TITLE),
]

CASES = [
    {
        "name": "serial_windows",
        "timeout": 180,
        "steps": SERIAL_START + [("screenshot", MAIN_TITLE, "e2e-main-window.png")] + WINDOWS,
    },
]
