#include "window/progress_bar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

namespace larkspire {

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProgressBar::setPosition(double value)
{
    m_position = value;
    const int shown = std::isfinite(value) ? int(std::clamp(std::round(value), 0.0, 100.0)) : 0;
    if (shown != m_shown) {
        m_shown = shown;
        update();
    }
    emit positionSet(value);
}

void ProgressBar::setBarText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        update();
    }
    emit textSet(text);
}

QSize ProgressBar::sizeHint() const { return QSize(200, fontMetrics().height() + 8); }

void ProgressBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = 0;
    option.maximum = 100;
    option.progress = m_shown;
    option.text = m_text;
    option.textVisible = true;
    option.textAlignment = Qt::AlignCenter;
    option.state |= QStyle::State_Horizontal;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

} // namespace larkspire
