// Texts shown to the operator from more than one window, written once.
#pragma once

#include "app/operator_texts.h"   // kTextNoConnection, shared with the core

// Error box when no connection attempt reached a unit.
inline constexpr const char* kTextUnableToConnect = "Unable to connect";

// The key writing: toolbar tip, key button tip and window title.
inline constexpr const char* kTextWriteKey = "Write decryption key";

// The main window's status labels.
inline constexpr const char* kTextPollingEnabled = "Polling enabled";
inline constexpr const char* kTextPollingDisabled = "Polling disabled";
inline constexpr const char* kTextConnected = "Connected";
inline constexpr const char* kTextNotConnected = "Not connected";
// A poll cycle in which no exchange was answered.
inline constexpr const char* kTextUnitDoesNotAnswer = "Unit does not answer";

// The file filter, extension and name of the configuration file dialogs.
inline constexpr const char* kConfigFilter = "Config files (*.cfg)|*.cfg|All files (*.*)|*.*||";
inline constexpr const char* kConfigExtension = "cfg";
inline constexpr const char* kConfigInitialName = "*.cfg";
// Title of the file dialogs that save a configuration.
inline constexpr const char* kTitleSaveConfig = "Select a file to save to";
