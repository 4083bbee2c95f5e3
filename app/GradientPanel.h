#pragma once
// A title panel painted as a horizontal colour gradient with a bumped
// (raised, then sunken) border and its caption left-justified. Children are
// laid out inside the border by their owner.

#include <QColor>
#include <QFrame>
#include <QString>

namespace qz::app {

class GradientPanel : public QFrame {
    Q_OBJECT
public:
    // Width of the bumped border: one raised and one sunken line.
    static constexpr int kBorderWidth = 2;

    GradientPanel(QColor startColor, QColor stopColor, QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);
    QColor startColor() const { return startColor_; }
    QColor stopColor() const { return stopColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor startColor_;
    QColor stopColor_;
    QString caption_;
};

}  // namespace qz::app
