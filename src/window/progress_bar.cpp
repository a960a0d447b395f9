#include "window/progress_bar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

namespace larkspire {

namespace {

// What a screen reader reads of the bar: a progress bar whose value is the
// position shown and whose value text and description are the bar's own text.
class AccessibleProgressBar final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleProgressBar(ProgressBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return bar()->barText();
        // Screen readers that take no value text from a bar (AT-SPI has no
        // such property) hear what it does as its description.
        if (t == QAccessible::Description && !bar()->barText().isEmpty())
            return bar()->barText();
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant&) override {} // shows progress; not set by the user
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    ProgressBar* bar() const { return static_cast<ProgressBar*>(widget()); }
};

QAccessibleInterface* accessibleProgressBar(const QString& className, QObject* object)
{
    if (className == QLatin1String("larkspire::ProgressBar") && object && object->isWidgetType())
        return new AccessibleProgressBar(static_cast<ProgressBar*>(object));
    return nullptr;
}

} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    static const bool installed = [] {
        QAccessible::installFactory(accessibleProgressBar);
        return true;
    }();
    (void)installed;
}

void ProgressBar::setPosition(double value)
{
    m_position = value;
    const int shown = std::isfinite(value) ? int(std::clamp(std::round(value), 0.0, 100.0)) : 0;
    if (shown != m_shown) {
        m_shown = shown;
        update();
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent changed(this, m_shown);
            QAccessible::updateAccessibility(&changed);
        }
    }
    emit positionSet(value);
}

void ProgressBar::setBarText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        update();
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent changed(this, m_shown); // its value text changed
            QAccessible::updateAccessibility(&changed);
            QAccessibleEvent described(this, QAccessible::DescriptionChanged); // announced as it changes
            QAccessible::updateAccessibility(&described);
        }
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
