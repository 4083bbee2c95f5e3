#pragma once
// A list of texts with a tick box per item that the user reorders by
// dragging an item inside the list. The drag is our own (press, move past
// the drag distance, release), not Qt's drag and drop: nothing is dragged in
// from outside, and Qt's move action would delete the dragged row.
// The owner answers the three events through the handlers it sets.

#include <functional>

#include <QListWidget>
#include <QPoint>

namespace qz::app {

class CheckListBox : public QListWidget {
    Q_OBJECT
public:
    // Every item is this many pixels high.
    static constexpr int kItemHeight = 13;

    // A press on the list, in viewport coordinates.
    using MouseDownHandler = std::function<void(QPoint)>;
    // Whether a drag of `source` may end on this list.
    using DragOverHandler = std::function<bool(QObject* source)>;
    // A drag of `source` ended at the point, in viewport coordinates.
    using DragDropHandler = std::function<void(QObject* source, QPoint)>;

    explicit CheckListBox(QWidget* parent = nullptr);

    void setMouseDownHandler(MouseDownHandler handler) { onMouseDown_ = std::move(handler); }
    void setDragOverHandler(DragOverHandler handler) { onDragOver_ = std::move(handler); }
    void setDragDropHandler(DragDropHandler handler) { onDragDrop_ = std::move(handler); }

    // Adds an unticked item at its place in the list's sort order; `data` is
    // `userData` is kept under Qt::UserRole.
    QListWidgetItem* addSorted(const QString& text, const QVariant& userData);
    // Moves the item at `from` to `to` (removed, then inserted there),
    // keeping its text, tick and data, and selects it. Rows out of range do
    // nothing.
    void moveItem(int from, int to);
    // Whether a drag is under way.
    bool isDragging() const { return dragging_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void endDrag();

    MouseDownHandler onMouseDown_;
    DragOverHandler onDragOver_;
    DragDropHandler onDragDrop_;
    QPoint pressPoint_;
    bool pressed_ = false;
    bool dragging_ = false;
};

// The list's collation: letter case ignored, ties broken by exact text so
// that the order never depends on the order of insertion.
bool listTextLess(const QString& a, const QString& b);

}  // namespace qz::app
