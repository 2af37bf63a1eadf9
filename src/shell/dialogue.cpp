#include "shell/dialogue.h"

#include "shell/session.h"

namespace corvatek::shell {

bool Dialogue::ask(const QString& text) const
{
    return session_->seams.askYesNo(owner_, text);
}

bool Dialogue::askBeforeDeleting(const QString& text) const
{
    return session_->seams.askBeforeDeleting(owner_, text);
}

void Dialogue::report(const QString& text) const
{
    session_->seams.report(owner_, text);
}

bool Dialogue::check(const data::FileResult& result) const
{
    if (!result.ok())
        report(result.error);
    return result.ok();
}

} // namespace corvatek::shell
