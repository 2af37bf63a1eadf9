// What a child process writes, waited for line by line as it comes.
#pragma once

#include <QProcess>
#include <QString>

namespace corvatek::test {

class ProcessOutput {
public:
    explicit ProcessOutput(QProcess& process) : process_(process) { }
    // Waits for `text` past what was waited for before; false when the
    // time ran out or the process ended without writing it.
    bool waitFor(const QString& text, int timeoutMs = 20000);
    // Everything written so far.
    QString text();

private:
    QProcess& process_;
    QString text_;
    qsizetype seen_ = 0;
};

} // namespace corvatek::test
