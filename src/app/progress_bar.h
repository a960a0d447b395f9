#pragma once
#include <QProgressBar>

namespace larkspire {

// A progress bar from 0 to 100 that shows its own text on the bar. Its value
// is a real number; the bar shows the nearest whole position.
class ProgressBar final : public QProgressBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressBar)
public:
    explicit ProgressBar(QWidget* parent = nullptr);
    double position() const { return m_position; }
    void setPosition(double value);
    QString barText() const { return m_text; }
    void setBarText(const QString& text);
    QString text() const override { return m_text; }

private:
    double m_position = 0;
    QString m_text;
};

} // namespace larkspire
