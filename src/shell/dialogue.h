// Asking and telling the user on behalf of one window, through the session's
// seams: what pages and the helpers acting for them share.
#pragma once

#include <QString>

class QWidget;

namespace corvatek::data {
struct FileResult;
}

namespace corvatek::shell {

struct Session;

class Dialogue {
public:
    Dialogue(Session& session, QWidget* owner) : session_(&session), owner_(owner) { }

    // A Yes/No question; true for Yes.
    bool ask(const QString& text) const;
    // The same for a question whose Yes deletes, empties or overwrites.
    bool askBeforeDeleting(const QString& text) const;
    void report(const QString& text) const;
    // Tells the user about a failed step; returns whether it went well.
    bool check(const data::FileResult& result) const;

private:
    Session* session_;
    QWidget* owner_;
};

} // namespace corvatek::shell
