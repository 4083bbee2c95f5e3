#include "app/CheckListBox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace qz::app {
namespace {

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(CheckListBox::kItemHeight);
        return size;
    }
};

}  // namespace

bool listTextLess(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    if (c != 0) return c < 0;
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

CheckListBox::CheckListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new FixedHeightDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Sorting is applied when items are added only, so that the user's
    // moves stay where they were put.
    setSortingEnabled(false);
    setDragEnabled(false);
    setAcceptDrops(false);
}

QListWidgetItem* CheckListBox::addSorted(const QString& text, const QVariant& userData) {
    // Binary search for the first item that sorts after `text`.
    int lo = 0;
    int hi = count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (listTextLess(text, item(mid)->text())) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    auto* newItem = new QListWidgetItem(text);
    newItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    newItem->setCheckState(Qt::Unchecked);
    newItem->setData(Qt::UserRole, userData);
    insertItem(lo, newItem);
    return newItem;
}

void CheckListBox::moveItem(int from, int to) {
    if (from < 0 || from >= count() || to < 0 || to >= count()) return;
    if (from != to) {
        QListWidgetItem* moved = takeItem(from);
        insertItem(to, moved);
    }
    setCurrentRow(to);
}

void CheckListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressPoint_ = event->position().toPoint();
        pressed_ = true;
        dragging_ = false;
    }
    if (onMouseDown_) onMouseDown_(event->position().toPoint());
    QListWidget::mousePressEvent(event);
}

void CheckListBox::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_ && !dragging_ && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - pressPoint_).manhattanLength() >=
            QApplication::startDragDistance()) {
        dragging_ = true;
        viewport()->setCursor(Qt::DragMoveCursor);
    }
    // While dragging the selection stays on the dragged item.
    if (dragging_) {
        event->accept();
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void CheckListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        if (event->button() == Qt::LeftButton) pressed_ = false;
        QListWidget::mouseReleaseEvent(event);
        return;
    }
    // The view's own release handling would treat this as a click on the
    // item under the pointer (and could tick it): end its state instead.
    endDrag();
    setState(QAbstractItemView::NoState);
    event->accept();
    const QPoint dropPoint = event->position().toPoint();
    if (!viewport()->rect().contains(dropPoint)) return;  // dropped elsewhere
    if (onDragOver_ && !onDragOver_(this)) return;
    if (onDragDrop_) onDragDrop_(this, dropPoint);
}

void CheckListBox::endDrag() {
    pressed_ = false;
    dragging_ = false;
    viewport()->unsetCursor();
}

}  // namespace qz::app
