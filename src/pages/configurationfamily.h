// The configuration check-box family: twelve check boxes spread over five
// pages, each bound to one configuration flag and one field of
// configuration.xml. A click stores the whole set of flags and restarts the
// real-time guard, which reads that file only when it starts.
#pragma once

#include <QRect>

class QCheckBox;
class QWidget;

namespace corvatek::shell {
struct Session;
}

namespace corvatek::pages::family {

// The click handlers, named after their check boxes: each sets its flag to
// the box's checked state, then saves the configuration; a save that fails
// puts flag and box back.
void CheckBox2Click(shell::Session& session, QCheckBox* sender);
void CheckBox3Click(shell::Session& session, QCheckBox* sender);
void CheckBox4Click(shell::Session& session, QCheckBox* sender);
void CheckBox5Click(shell::Session& session, QCheckBox* sender);
void CheckBox6Click(shell::Session& session, QCheckBox* sender);
void CheckBox7Click(shell::Session& session, QCheckBox* sender);
void CheckBox8Click(shell::Session& session, QCheckBox* sender);
void CheckBox9Click(shell::Session& session, QCheckBox* sender);
void CheckBox10Click(shell::Session& session, QCheckBox* sender);
void CheckBox11Click(shell::Session& session, QCheckBox* sender);
void CheckBox12Click(shell::Session& session, QCheckBox* sender);
void CheckBox13Click(shell::Session& session, QCheckBox* sender);

struct Member {
    int flag; // configuration flag N, field ChampN
    int caption;
    void (*click)(shell::Session&, QCheckBox*);
};

inline constexpr Member CheckBox2 {8, 72, CheckBox2Click};
inline constexpr Member CheckBox3 {1, 73, CheckBox3Click};
inline constexpr Member CheckBox4 {2, 74, CheckBox4Click};
inline constexpr Member CheckBox5 {7, 62, CheckBox5Click};
inline constexpr Member CheckBox6 {3, 77, CheckBox6Click};
inline constexpr Member CheckBox7 {4, 78, CheckBox7Click};
inline constexpr Member CheckBox8 {5, 79, CheckBox8Click};
inline constexpr Member CheckBox9 {6, 80, CheckBox9Click};
inline constexpr Member CheckBox10 {9, 81, CheckBox10Click};
inline constexpr Member CheckBox11 {10, 82, CheckBox11Click};
inline constexpr Member CheckBox12 {11, 83, CheckBox12Click};
inline constexpr Member CheckBox13 {12, 84, CheckBox13Click};

// Makes `box` (a control the page has just added) a member: placed,
// captioned, checked, its click handler attached. Returns `box`.
QCheckBox* place(shell::Session& session, QCheckBox* box, const Member& member, const QRect& geometry);
// The page-build rule: the box takes its flag's state. Unchecking runs the
// click handler, so an off flag costs one save and one guard restart.
void showFlag(const shell::Session& session, QCheckBox* box, const Member& member);
// The guard options page's rule: the box shows its flag, and showing it
// saves nothing and restarts nothing.
void showFlagOnly(const shell::Session& session, QCheckBox* box, const Member& member);

// Stops every vkguard.exe, rewrites configuration.xml's one record from the
// twelve flags, and starts vkguard.exe again. False when the file was not
// rewritten.
bool saveConfiguration(shell::Session& session, QWidget* owner);

} // namespace corvatek::pages::family
