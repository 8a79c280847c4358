#pragma once

#include <QListView>

// The job list's view. It reports each selection change that a mouse or key action of the
// user makes, once per action, and also a click on an entry that changes nothing (the
// already focused and selected entry): the window then makes the focused entry current
// every time, so the settings row in force is always the focused entry's own.
class JobListView : public QListView
{
    Q_OBJECT

public:
    using QListView::QListView;

    // True while the view handles a user action; selection signals it emits meanwhile
    // are covered by selectionChangedByUser().
    bool isHandlingInput() const { return m_inputDepth > 0; }

signals:
    void selectionChangedByUser();

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    struct State {
        int current = -1;
        QList<int> selected;
        bool operator==(const State &) const = default;
    };
    State state() const;
    template <typename Fn> void handle(Fn base, bool reportAnyway);

    int m_inputDepth = 0;
};
