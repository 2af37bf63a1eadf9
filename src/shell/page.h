// A page of the main window. The page object is the page's marker: it
// exists exactly while the page's controls exist, and destroying it destroys
// them.
#pragma once

#include "localisation/caption.h"
#include "shell/dialogue.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace corvatek::shell {

class MainWindow;
struct Session;

struct PageContext {
    Session& session;
    MainWindow& window;
    QWidget* panel; // the page panel the controls go on
    bool startUp = false; // the home page's start-up variant
};

class Page : public QObject {
    Q_OBJECT
public:
    explicit Page(PageContext context) : context_(context) { }
    ~Page() override;

    virtual void build() = 0;
    // The build is over and the page painted: what it had to report is
    // reported now, once.
    void buildFinished();

protected:
    // Creates a control of this page on the page panel.
    template<typename Control, typename... Args> Control* add(Args&&... args)
    {
        return addTo<Control>(context_.panel, std::forward<Args>(args)...);
    }
    // Creates a control of this page inside another of its controls (a group
    // box's radio buttons).
    template<typename Control, typename... Args> Control* addTo(QWidget* parent, Args&&... args)
    {
        auto* control = new Control(std::forward<Args>(args)..., parent);
        control->show(); // a child made after its parent is shown stays hidden otherwise
        controls_.append(control);
        return control;
    }
    // Tells the user about a problem met while the page was built, once the
    // page is on screen (never under the painting freeze).
    void reportOnceShown(const QString& text);
    // Questions and reports now, the main window their parent.
    Dialogue dialogue() const;
    bool askBeforeDeleting(const QString& text) const { return dialogue().askBeforeDeleting(text); }
    void report(const QString& text) const { dialogue().report(text); }
    // Reports a failed step; returns whether it went well.
    bool check(const data::FileResult& result) const { return dialogue().check(result); }
    Session& session() const { return context_.session; }
    MainWindow& window() const { return context_.window; }
    QWidget* panel() const { return context_.panel; }
    bool startUp() const { return context_.startUp; }

private:
    PageContext context_;
    QList<QPointer<QWidget>> controls_;
    bool building_ = true;
    QStringList pendingReports_;
};

} // namespace corvatek::shell
