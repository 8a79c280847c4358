#include "app/widgets/joblistview.h"

#include <QItemSelectionModel>
#include <QMouseEvent>
#include <algorithm>

JobListView::State JobListView::state() const
{
    State s;
    const QItemSelectionModel *selection = selectionModel();
    if (!selection)
        return s;
    s.current = selection->currentIndex().row();
    for (const QModelIndex &index : selection->selectedIndexes())
        s.selected.append(index.row());
    std::sort(s.selected.begin(), s.selected.end());
    return s;
}

template <typename Fn> void JobListView::handle(Fn base, bool reportAnyway)
{
    const State before = state();
    ++m_inputDepth;
    base();
    --m_inputDepth;
    if (reportAnyway || state() != before)
        emit selectionChangedByUser();
}

void JobListView::mousePressEvent(QMouseEvent *e)
{
    const bool onEntry = e->button() == Qt::LeftButton
                         && indexAt(e->position().toPoint()).isValid();
    handle([&] { QListView::mousePressEvent(e); }, onEntry);
}

void JobListView::mouseMoveEvent(QMouseEvent *e)
{
    handle([&] { QListView::mouseMoveEvent(e); }, false);
}

void JobListView::mouseReleaseEvent(QMouseEvent *e)
{
    handle([&] { QListView::mouseReleaseEvent(e); }, false);
}

void JobListView::keyPressEvent(QKeyEvent *e)
{
    handle([&] { QListView::keyPressEvent(e); }, false);
}
