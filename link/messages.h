// Window messages between the link, the worker threads and the windows, and the
// interface through which the core posts or sends them.
#pragma once
#include <cstdint>

inline constexpr uint32_t kWmUser = 0x400;
inline constexpr uint32_t WM_CONNECT_DONE = 0x500;
inline constexpr uint32_t WM_ENGINEERING_CLOSED = 0x501;
inline constexpr uint32_t WM_DEMOD_PAGE_CLOSED = 0x502;
inline constexpr uint32_t WM_LAMP_STATE = 0x503;
inline constexpr uint32_t WM_PARAM_UPDATED = 0x506;
inline constexpr uint32_t WM_PAGE_CHANGED = 0x507;
inline constexpr uint32_t WM_GRAPH_SAMPLE = 0x508;
inline constexpr uint32_t WM_LINK_LOST = 0x509;
inline constexpr uint32_t WM_UNIT_ALIVE = 0x50A;
inline constexpr uint32_t WM_SET_UNIT_ADDRESS = 0x50B;
inline constexpr uint32_t WM_POLL_INTERVAL_CHANGED = 0x50C;
// The end of a poll cycle: what it read and whether the unit answered (wParam,
// see params/poll_thread.h).
inline constexpr uint32_t WM_POLL_CYCLE_DONE = 0x50D;

// Icon resources used as lamp states.
inline constexpr int kIconApp = 128;
inline constexpr int kIconGreen = 129;
inline constexpr int kIconRed = 130;
inline constexpr int kIconKey = 132;
inline constexpr int kIconGrey = 134;

// A row of the parameter tables (params/param_table.h). The link only passes
// it on: it travels from the poll thread and the value codec to the windows.
struct ParamEntry;

// "A window" as the core sees it. Post queues the message and returns; Send
// hands it to the window's thread and waits for the result. Both may be called
// from any thread.
class IMessageTarget {
public:
    virtual ~IMessageTarget() = default;
    virtual void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    virtual intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    // Posts a message about one table row: WM_PARAM_UPDATED (wParam 0 for the
    // live demodulator table, 1 for the decoder table) and WM_GRAPH_SAMPLE.
    // A window that shows no rows ignores it.
    virtual void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) {
        (void)msg;
        (void)wParam;
        (void)row;
    }
    // Whether the window exists yet (the connect thread waits for its window).
    virtual bool WindowExists() const { return true; }
};
