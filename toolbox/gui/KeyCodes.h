// The key codes of key messages.
#pragma once
#include <cstdint>

// Key codes (wmKeyDown): characters as themselves, and the named keys below. A type of its own,
// so that a key code is never taken for a command number (several share their numbers).
enum class KeyCode : std::int16_t {};
constexpr KeyCode kKeyNone{0};
constexpr KeyCode kKeyBackspace{8};
constexpr KeyCode kKeyTab{9};
constexpr KeyCode kKeyReturn{13};
constexpr KeyCode kKeyEscape{27};
constexpr KeyCode kKeyUpArrow{301};
constexpr KeyCode kKeyDownArrow{302};
constexpr KeyCode kKeyRightArrow{303};
constexpr KeyCode kKeyLeftArrow{304};
constexpr KeyCode kKeyPageUp{305};
constexpr KeyCode kKeyPageDown{306};
constexpr KeyCode kKeyHome{309};
constexpr KeyCode kKeyEnd{310};
constexpr KeyCode kKeyBackTab{315}; // shift-Tab
constexpr KeyCode kKeyDelete{
    317}; // Delete, Clear, and the keypad decimal key with keypad translation on
constexpr KeyCode kKeyF1{331}; // F1 to F15 are 331 to 345
constexpr KeyCode kKeyF15{345};

// The key code of a character, and the number of a key code.
constexpr KeyCode CharKey(unsigned char c) {
    return KeyCode{c};
}
constexpr int KeyNumber(KeyCode k) {
    return static_cast<int>(k);
}
