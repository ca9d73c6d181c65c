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
RADIO = ("radio button", "check box")


def lamps(described, negate=False, seconds=15):
    op = "not_description" if negate else "description"
    return [(op, lamp, described, seconds) for lamp in LAMPS]


# Start-up over RS232: the start-up scan finds the unit as COM1.
SERIAL_START = [
    ("sim", True, True),
    ("mark",),
    ("program",),
    ("received", r"^9999rgadd;;$", 30),
    ("label", "Connected", 30),
    ("event", "connected", 10, "COM1"),
]

# The full demodulator page: a new input frequency, applied.
ADVANCED_WINDOW = [
    ("click", BUTTON, "Advanced", MAIN_TITLE),
    ("window", ADVANCED),
    ("screenshot", ADVANCED, "e2e-advanced-window.png"),
    ("mark",),
    ("type_into", "Input frequency (MHz), Narrowband", "1234.5", ADVANCED),
    ("click", BUTTON, "Apply", ADVANCED),
    ("received", r"^0001w1ipf;1\.234500;$"),
    ("close", ADVANCED),
]

# The engineering window: a raw command, both tabs, closed and opened again.
# Polling is off meanwhile (the unit then hears only the keep-alive address
# read), so that the read of 1loc is the one typed.
ENGINEERING_WINDOW = [
    ("key", "ctrl+p", MAIN_TITLE),
    ("label", "Polling disabled"),
    ("mark",),
    ("received", r"^0001rgadd;;$"),
    ("key", "ctrl+e", MAIN_TITLE),
    ("window", ENGINEERING),
    ("mark",),
    ("type_into", "Send address", "0001", ENGINEERING),
    ("type_into", "Command and data", "r1loc;;", ENGINEERING),
    ("click", BUTTON, "Send command", ENGINEERING),
    ("received", r"^0001r1loc;;$"),
    ("text", "text", "Output", ENGINEERING, "Sending: "),
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
    ("key", "ctrl+p", MAIN_TITLE),
    ("label", "Polling enabled"),
]

# The other windows of the main window, each opened and closed.
SMALL_WINDOWS = [
    ("key", "ctrl+l", MAIN_TITLE),
    ("window", "Polling options"),
    ("key", "Escape", "Polling options"),
    ("gone", "Polling options"),
    ("key", "ctrl+h", MAIN_TITLE),
    ("window", "Signal history"),
    ("close", "Signal history"),
    ("menu", "File", "Set icon source"),
    ("window", "Select new icon file"),
    ("key", "Escape", "Select new icon file"),
    ("gone", "Select new icon file"),
    ("menu", "File", "Set logo source"),
    ("window", "Select new bitmap file"),
    ("key", "Escape", "Select new bitmap file"),
    ("gone", "Select new bitmap file"),
    ("click", BUTTON, "Save config set", MAIN_TITLE),
    ("window", "Select a file to save to"),
    ("key", "Escape", "Select a file to save to"),
    ("gone", "Select a file to save to"),
    ("menu", "Help", "About receiver control..."),
    ("window", "About receiver control"),
    ("click", BUTTON, "OK", "About receiver control"),
    ("gone", "About receiver control"),
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
]

# A decryption key, and a slot (tab "Config 3").
KEY_AND_SLOT = [
    ("mark",),
    ("key", "ctrl+k", MAIN_TITLE),
    ("window", "Write decryption key"),
    ("type", "0123abcd"),
    ("click", BUTTON, "OK", "Write decryption key"),
    ("gone", "Write decryption key"),
    ("received", r"^0001wzebs;0123abcd;$"),
    ("mark",),
    ("click", "page tab", "Config 3", MAIN_TITLE),
    ("received", r"^0001wdloa;3;$"),
    ("received", r"^0001rdlas;;$"),
    ("selected", "Config 3", MAIN_TITLE),
]

# Connect over Ethernet to the unit's loopback address (the case's own).
ETHERNET_CONNECT = [
    ("click", RADIO, "Ethernet", MAIN_TITLE),
    ("type_into", "Address", "{address}", MAIN_TITLE),
    ("mark",),
    ("click", BUTTON, "Connect", MAIN_TITLE),
    ("received", r"^9999rgadd;;$"),
    ("received", r"^0001rdlas;;$"),
    ("label", "Connected"),
    ("event", "connected", 10, "{address}"),
    ("state", RADIO, "Ethernet", "checked", MAIN_TITLE),
]

# The address typed in one go over an address already shown (a dot right
# after three digits moved on stays in its field), and a number above 255
# refused at Connect.
ETHERNET_TYPED = [
    ("click", RADIO, "Ethernet", MAIN_TITLE),
    ("type_into", "Address", "10.20.30.40", MAIN_TITLE),
    ("type_into", "Address", "127.0.701.9", MAIN_TITLE),
    ("click", BUTTON, "Connect", MAIN_TITLE),
    ("window", "Error"),
    ("text", "label", "Invalid IP address entered", "Error", "Invalid IP address entered"),
    ("click", BUTTON, "OK", "Error"),
    ("gone", "Error"),
    ("type_into", "Address", "{address}", MAIN_TITLE),
] + ETHERNET_CONNECT[2:]

# The address pasted whole into the IP field's first box: copied from a field
# of the engineering window, so the program's own clipboard carries it.
ETHERNET_PASTED = [
    ("click", RADIO, "Ethernet", MAIN_TITLE),
    ("type_into", "Address", "10.20.30.40", MAIN_TITLE),
    ("menu", "Options", "Engineering"),   # Ctrl+E is the field's own key
    ("window", ENGINEERING),
    ("type_into", "Command and data", "{address}", ENGINEERING),
    ("key", "ctrl+a ctrl+c", ENGINEERING),
    ("close", ENGINEERING),
    ("paste_into", "Address", MAIN_TITLE),
] + ETHERNET_CONNECT[2:]

# The same address by the mouse: the X selection left by selecting it, put in
# by a middle click, then over another address the field menu's Paste.
ETHERNET_PASTED_BY_MOUSE = ETHERNET_PASTED[:6] + [
    ("close", ENGINEERING),
    ("paste_into", "Address", MAIN_TITLE, "middle"),
    ("text", "text", "Address field 1", MAIN_TITLE, "127"),
    ("type_into", "Address", "10.20.30.40", MAIN_TITLE),
    ("paste_into", "Address", MAIN_TITLE, "menu"),
] + ETHERNET_CONNECT[2:]

# The slot tabs take no focus from Tab; Ctrl+3 stores the running slot and
# loads slot 3 as a click on "Config 3" does.
SLOT_KEYS = [
    ("tab_round", MAIN_TITLE, ("page tab", "page tab list")),
    ("mark",),
    ("key", "ctrl+3", MAIN_TITLE),
    ("received", r"^0001wdsto;[1-8];$"),
    ("received", r"^0001wdloa;3;$"),
    ("received", r"^0001rdlas;;$"),
    ("selected", "Config 3", MAIN_TITLE),
    ("event", "slot-changed", 10, "Config 3"),
]

# The configuration of the unit to a file and back.
CONFIG_FILE = [
    ("click", BUTTON, "Save config to file", MAIN_TITLE),
    ("file_dialog", "Select a file to save to", "unit.cfg"),
    ("file", "unit.cfg"),
    ("event", "config-file-saved"),
    ("mark",),
    ("click", BUTTON, "Load config from file", MAIN_TITLE),
    ("file_dialog", "Select a file to load from", "unit.cfg"),
    ("received", r"^0001w1ipf;[0-9.]+;$", 40),
    ("event", "config-file-loaded", 40),
]

# Narrowband to DVB-T on the simple page: the unit restarts in its new mode.
MODE_CHANGE = [
    ("mark",),
    ("click", RADIO, "DVBT", MAIN_TITLE),
    ("received", r"^0001wgudm;1;$"),
    ("received", r"^0001rgudm;;$", 40),
    ("state", RADIO, "DVBT", "checked", MAIN_TITLE, 40),
]

# Restore defaults: cancelled (nothing sent), then accepted (the reset, the
# slots set up, the configuration read back).
RESTORE_DEFAULTS = [
    ("mark",),
    ("key", "ctrl+d", MAIN_TITLE),
    ("window", "Choose a downconverter type"),
    ("click", BUTTON, "Cancel", "Choose a downconverter type"),
    ("gone", "Choose a downconverter type"),
    ("sleep", 1),
    ("not_received", r"wddef"),
    ("key", "ctrl+d", MAIN_TITLE),
    ("window", "Choose a downconverter type"),
    ("click", BUTTON, "OK", "Choose a downconverter type"),
    ("received", r"^0001wddef;1;$"),
    ("received", r"^0001rdlas;;$", 60),
    ("event", "defaults-restored", 10),
]


def unit_vanishes(lost_label, restart):
    """The unit goes away while the program polls, and comes back."""
    return [
        ("kill_sim",),
        ("no_label", "Connected", 60),
        ("label", lost_label, 10),
        *lamps("unknown"),
        ("description", "Connection status", "not connected"),
        ("event", "connection-lost"),
        restart,
        ("label", "Connected", 60),
        *lamps("unknown", negate=True),
        ("description", "Connection status", "connected"),
        ("event", "connection-back"),
    ]


# On a dark desktop: the main window and the signal history window with some
# samples, pictured; looked at for readable texts.
HISTORY = "Signal history"
DARK_WINDOWS = [
    ("label", "Polling enabled"),
    ("sleep", 3),
    ("screenshot", MAIN_TITLE, "main-window-dark.png"),
    ("dark", "main-window-dark.png"),
    ("key", "ctrl+h", MAIN_TITLE),
    ("window", HISTORY),
    ("click", "combo box", "Span", HISTORY),
    ("key", "Home Return"),
    ("sleep", 6),
    ("screenshot", HISTORY, "history-window-dark.png"),
    ("dark", "history-window-dark.png"),
    ("close", HISTORY),
    ("gone", HISTORY),
]

# Alarms: the indicator with the unit answering, a critical alarm once the
# unit is gone, the Alarms window by its shortcut (and by a click on the
# indicator at the end), the alarm acknowledged by a
# click, cleared when the unit is back (its period pictured on the history
# chart); the rules dialog refuses a threshold out of range and saves one
# within it to the rules file.
ALARMS = "Alarms"
RULES = "Alarm rules"
ALARM_STATE = "Alarm state"
UNIT_SILENT = "unit_silent (critical)"
ALARM_WINDOW = [
    ("described", ALARM_STATE, "No alarms", 30),
    ("kill_sim",),
    ("described", ALARM_STATE, "Critical", 60),
    ("event", "alarm-raised", 10, UNIT_SILENT),
    ("screenshot", MAIN_TITLE, "e2e-main-window-alarm.png"),
    ("key", "ctrl+m", MAIN_TITLE),
    ("window", ALARMS),
    ("click", None, "Unit not answering", ALARMS),
    ("click", BUTTON, "Acknowledge", ALARMS),
    ("event", "alarm-acknowledged", 10, UNIT_SILENT),
    ("shows", "Yes", ALARMS),
    ("sim", True, False),
    ("described", ALARM_STATE, "No alarms", 60),
    ("event", "alarm-cleared", 10, UNIT_SILENT),
    ("screenshot", ALARMS, "e2e-alarms-window.png"),
    ("key", "ctrl+h", MAIN_TITLE),
    ("window", HISTORY),
    ("click", "combo box", "Span", HISTORY),
    ("key", "Home Return"),
    ("sleep", 1),
    ("screenshot", HISTORY, "e2e-history-alarm.png"),
    ("close", HISTORY),
    ("activate", ALARMS),
    ("click", BUTTON, "Rules...", ALARMS),
    ("window", RULES),
    ("screenshot", RULES, "e2e-alarm-rules.png"),
    ("type_into", "SNR low, Threshold", "70", RULES),
    ("click", BUTTON, "Save", RULES),
    ("window", "Error"),
    ("click", BUTTON, "OK", "Error"),
    ("gone", "Error"),
    ("type_into", "SNR low, Threshold", "12.5", RULES),
    ("click", BUTTON, "Save", RULES),
    ("gone", RULES),
    ("program_file", "alarm_rules.json", '"threshold": 12.5'),
    ("close", ALARMS),
    ("gone", ALARMS),
    ("click", "label", ALARM_STATE, MAIN_TITLE),
    ("window", ALARMS),
    ("close", ALARMS),
]

CASES = [
    {
        "name": "advanced_window",
        "timeout": 150,
        "steps": SERIAL_START + ADVANCED_WINDOW + KEY_AND_SLOT
        + [("screenshot", MAIN_TITLE, "e2e-main-window.png")],
    },
    {
        "name": "engineering_window",
        "timeout": 150,
        "steps": SERIAL_START + ENGINEERING_WINDOW + SMALL_WINDOWS,
    },
    {
        "name": "ethernet_operations",
        "timeout": 300,
        "steps": SERIAL_START + ETHERNET_CONNECT + CONFIG_FILE + MODE_CHANGE + RESTORE_DEFAULTS,
    },
    {
        "name": "ethernet_address_typed",
        "timeout": 150,
        "steps": SERIAL_START + ETHERNET_TYPED,
    },
    {
        "name": "ethernet_address_pasted",
        "timeout": 150,
        "steps": SERIAL_START + ETHERNET_PASTED,
    },
    {
        "name": "ethernet_address_pasted_by_mouse",
        "timeout": 150,
        "steps": SERIAL_START + ETHERNET_PASTED_BY_MOUSE,
    },
    {
        "name": "slot_keys",
        "timeout": 200,
        "steps": SERIAL_START + SLOT_KEYS,
    },
    {
        "name": "serial_unit_vanishes",
        "timeout": 240,
        "steps": SERIAL_START + unit_vanishes("Not connected", ("sim", True, False)),
    },
    {
        "name": "tcp_unit_vanishes",
        "timeout": 240,
        "steps": SERIAL_START + ETHERNET_CONNECT + unit_vanishes("Unit does not answer", ("sim", True, True)),
    },
    {
        "name": "dark_desktop",
        "timeout": 150,
        "steps": [("dark_desktop",)] + SERIAL_START + DARK_WINDOWS,
    },
    {
        "name": "alarms",
        "timeout": 240,
        "steps": SERIAL_START + ALARM_WINDOW,
    },
]
