#include "processoutput.h"

#include <QElapsedTimer>

namespace corvatek::test {

bool ProcessOutput::waitFor(const QString& text, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qsizetype at = this->text().indexOf(text, seen_);
        if (at >= 0) {
            seen_ = at + text.size();
            return true;
        }
        if (clock.elapsed() > timeoutMs || process_.state() == QProcess::NotRunning)
            return false;
        process_.waitForReadyRead(50);
    }
}

QString ProcessOutput::text()
{
    text_ += QString::fromUtf8(process_.readAll());
    return text_;
}

} // namespace corvatek::test
