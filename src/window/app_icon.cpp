#include "window/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in a static library: they are registered by hand.
static void registerResources() { Q_INIT_RESOURCE(resources); }

namespace larkspire {

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        registerResources();
        QIcon result;
        QSvgRenderer renderer(QStringLiteral(":/larkspire/larkspire.svg"));
        if (!renderer.isValid())
            return result;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            renderer.render(&painter);
            painter.end();
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}

} // namespace larkspire
