// The program's icon handle: the user's icon file when it loads, else the
// application icon (resource 128).
#pragma once
#include <QIcon>
#include <QPixmap>
#include <string>

#include "link/unit_events.h"

// The icon resources (res/icons/<id>.png).
inline constexpr int kIconApp = 128;
inline constexpr int kIconGreen = 129;
inline constexpr int kIconRed = 130;
inline constexpr int kIconKey = 132;
inline constexpr int kIconGrey = 134;

// Registers the icon resources of res/resources.qrc (idempotent).
void EnsureIconResources();
// The application icon, resource 128.
QIcon ApplicationIcon();
// The icon of an icon file; a null icon when the file cannot be loaded.
QIcon LoadIconFile(const std::string& path);
// The icon loaded at start-up from IconFile (null when there was none).
QIcon& UserIcon();
// UserIcon() when it is not null, else ApplicationIcon().
QIcon ProgramIconOrDefault();
// A lamp or other icon resource by id (129 green, 130 red, 134 grey, 132 key).
QPixmap IconPixmap(int iconId, int size);
// The key icon (the key buttons).
QIcon KeyIcon();
// The icon a lamp shows in a state.
int LampIconId(LampState state);
