#include "progress_bar.h"

#include <algorithm>
#include <cmath>

namespace larkspire {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::setPosition(double value)
{
    m_position = value;
    const double shown = std::isfinite(value) ? std::clamp(std::round(value), 0.0, 100.0) : 0.0;
    setValue(static_cast<int>(shown));
}

void ProgressBar::setBarText(const QString& text)
{
    m_text = text;
    update();
}

} // namespace larkspire
