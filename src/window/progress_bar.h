#pragma once
#include <QWidget>

namespace larkspire {

// A progress bar from 0 to 100 that shows its own text on the bar. Its
// position is a real number; the bar shows the nearest whole position.
// Changes are painted with the window's next repaint, never on the spot, so
// a long operation that moves the bar often does not wait for painting.
class ProgressBar final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressBar)
public:
    explicit ProgressBar(QWidget* parent = nullptr);
    double position() const { return m_position; }
    void setPosition(double value);
    // The whole position shown, 0 to 100.
    int value() const { return m_shown; }
    QString barText() const { return m_text; }
    void setBarText(const QString& text);
    QString text() const { return m_text; }
    QSize sizeHint() const override;

signals:
    // Every setting, also one that changes nothing on the screen.
    void positionSet(double position);
    void textSet(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_position = 0;
    int m_shown = 0;
    QString m_text;
};

} // namespace larkspire
