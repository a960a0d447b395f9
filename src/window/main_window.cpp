// The window's controls, the pointer rules and the event pumps that long
// operations let the window run by.
#include "window/main_window.h"

#include "core/failure.h"
#include "window/twips.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>

namespace larkspire {

namespace {

const QString kListHint = QStringLiteral(
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.");

QFont arialBold(double points)
{
    QFont font(QStringLiteral("Arial"));
    // Where Arial is missing, fontconfig's metric-compatible substitute stands in.
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

} // namespace

MainWindow::MainWindow(Platform platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_platform(std::move(platform))
    , m_settings(m_platform.settingsFolder)
    , m_appTitle(QCoreApplication::applicationName())
{
    Q_ASSERT(m_platform.dialogs);
    setObjectName(QStringLiteral("Form1"));
    createControls();
    connectHandlers();
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(twipsToPixels(8040), twipsToPixels(9255));
    setFont(arialBold(9));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto button = [this](const char* name, const char* caption, QRect geometry) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(arialBold(11.25));
        b->setGeometry(geometry);
        b->setMouseTracking(true);
        b->installEventFilter(this);
        return b;
    };
    auto list = [this](const char* name, bool checkBoxes, QRect geometry) {
        auto* l = new ListView(checkBoxes, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(arialBold(9));
        l->setGeometry(geometry);
        l->setToolTip(kListHint);
        connect(l, &ListView::pointerMoved, this, &MainWindow::pointerOverSurface);
        return l;
    };

    m_ui.ListView1 = list("ListView1", false, twipsRect(120, 120, 7800, 2535));
    m_ui.ListView2 = list("ListView2", true, twipsRect(120, 5085, 7800, 2535));
    m_ui.PushButton6 = button("PushButton6", "Add Stock Symbol", twipsRect(120, 2750, 3840, 405));
    m_ui.PushButton3 = button("PushButton3", "Load Symbols From File", twipsRect(4080, 2750, 3840, 405));
    m_ui.PushButton1 = button("PushButton1", "Clear List", twipsRect(120, 3260, 3840, 405));
    m_ui.PushButton17 = button("PushButton17", "Start Retrieving Quotes", twipsRect(120, 4575, 7800, 405));
    m_ui.PushButton4 = button("PushButton4", "Save Results As Text File", twipsRect(120, 7710, 3840, 405));
    m_ui.PushButton13 = button("PushButton13", "Save Results As Excel File", twipsRect(4080, 7710, 3840, 405));
    m_ui.PushButton2 = button("PushButton2", "Clear Results", twipsRect(4080, 8220, 3840, 405));

    m_ui.Frame2 = new QGroupBox(QStringLiteral("Display Option"), this);
    m_ui.Frame2->setObjectName(QStringLiteral("Frame2"));
    m_ui.Frame2->setGeometry(twipsRect(120, 3720, 7800, 750));
    m_ui.Frame2->setMouseTracking(true);
    m_ui.Frame2->installEventFilter(this);
    m_ui.Check5 =
        new QCheckBox(QStringLiteral("Show full stock name in results instead of stock symbol"), m_ui.Frame2);
    m_ui.Check5->setObjectName(QStringLiteral("Check5"));
    m_ui.Check5->setGeometry(twipsRect(240, 300, 5265, 285));
    m_ui.Check5->setMouseTracking(true);
    m_ui.Check5->installEventFilter(this);
    connect(m_ui.Check5, &QCheckBox::toggled, this, &MainWindow::onCheck5Toggled);

    m_ui.PushButton5 = button("PushButton5", "Copy Results To Clipboard", twipsRect(120, 8220, 3840, 405));
    m_ui.PushButton7 = button("PushButton7", "Load Sample/Example Symbols", twipsRect(4080, 3260, 3840, 405));
    m_ui.ProgressBar1 = new ProgressBar(this);
    m_ui.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_ui.ProgressBar1->setGeometry(twipsRect(120, 8730, 7800, 405));
    m_ui.ProgressBar1->setBarText(QStringLiteral("Progress Bar"));
    m_ui.ProgressBar1->setMouseTracking(true);

    const QList<QWidget*> order{m_ui.ListView1,    m_ui.ListView2,   m_ui.PushButton6,  m_ui.PushButton3,
                                m_ui.PushButton1,  m_ui.PushButton17, m_ui.PushButton4, m_ui.PushButton13,
                                m_ui.PushButton2,  m_ui.Check5,      m_ui.PushButton5,  m_ui.PushButton7};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    m_ui.ProgressBar1->setFocusPolicy(Qt::NoFocus);

    setMouseTracking(true);
}

void MainWindow::connectHandlers()
{
    connect(m_ui.PushButton6, &QPushButton::clicked, this, &MainWindow::PushButton6_Click);
    connect(m_ui.PushButton3, &QPushButton::clicked, this, &MainWindow::PushButton3_Click);
    connect(m_ui.PushButton1, &QPushButton::clicked, this, &MainWindow::PushButton1_Click);
    connect(m_ui.PushButton7, &QPushButton::clicked, this, &MainWindow::PushButton7_Click);
    connect(m_ui.ListView1, &ListView::keyDown, this, &MainWindow::ListView1_KeyDown);
    connect(m_ui.ListView1, &ListView::dblClick, this, &MainWindow::ListView1_DblClick);
    connect(m_ui.PushButton17, &QPushButton::clicked, this, &MainWindow::PushButton17_Click);
    connect(m_ui.ListView2, &ListView::dblClick, this, &MainWindow::ListView2_DblClick);
    connect(m_ui.PushButton2, &QPushButton::clicked, this, &MainWindow::PushButton2_Click);
    connect(m_ui.PushButton4, &QPushButton::clicked, this, &MainWindow::PushButton4_Click);
    connect(m_ui.PushButton5, &QPushButton::clicked, this, &MainWindow::PushButton5_Click);
    connect(m_ui.PushButton13, &QPushButton::clicked, this, &MainWindow::PushButton13_Click);
}

void MainWindow::SetMousePointer(int value)
{
    m_mousePointer = value;
    switch (value) {
    case kPointerHourglass:
        setCursor(Qt::WaitCursor);
        break;
    case kPointerCustom:
        setCursor(m_handCursor ? *m_handCursor : QCursor(Qt::PointingHandCursor));
        break;
    default:
        unsetCursor();
        break;
    }
}

void MainWindow::pointerOverButton()
{
    if (m_mousePointer != kPointerHourglass)
        SetMousePointer(kPointerCustom);
}

void MainWindow::pointerOverSurface()
{
    if (m_mousePointer != kPointerHourglass)
        SetMousePointer(kPointerDefault);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (qobject_cast<QPushButton*>(watched))
            pointerOverButton();
        else
            pointerOverSurface();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    // Moves that a child left unhandled arrive here too; only the window's
    // own surface counts.
    if (!childAt(event->position().toPoint()))
        pointerOverSurface();
    QWidget::mouseMoveEvent(event);
}

void MainWindow::pumpEvents()
{
    if (m_ended)
        throw Abandoned();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_ended)
        throw Abandoned();
}

namespace {
// Holds back the window's repaint requests while it lives and posts one
// afterwards when any was held back.
class RepaintLater final : public QObject {
public:
    explicit RepaintLater(QWidget* window) : m_window(window) { QCoreApplication::instance()->installEventFilter(this); }
    ~RepaintLater() override
    {
        QCoreApplication::instance()->removeEventFilter(this);
        if (m_held && m_window)
            QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest && watched == m_window) {
            m_held = true;
            return true;
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    bool m_held = false;
};
} // namespace

void MainWindow::pumpEventsRepaintLater()
{
    RepaintLater later(this);
    pumpEvents();
}

void MainWindow::yieldEvents()
{
    if (m_ended)
        throw Abandoned();
    if (m_lastYield.isValid() && m_lastYield.elapsed() < 10)
        return;
    pumpEvents();
    m_lastYield.start();
}

void MainWindow::runHandler(const std::function<void()>& body)
{
    try {
        body();
    } catch (const Abandoned&) {
        // The window went away in the middle: nothing more is done.
    }
}

void MainWindow::removeSelectedItem(ListView* view)
{
    // Never fails: nothing happens while busy, on an empty list or without a
    // selected item.
    try {
        if (isBusy() || view->items().count() == 0)
            return;
        const int selected = view->selectedIndex();
        if (selected > 0) {
            view->items().remove(selected);
            // The view would move the selection on to the next row, and a
            // second Delete would remove that one too.
            view->clearSelection();
        }
    } catch (...) {
    }
}

void MainWindow::message(const QString& text)
{
    m_platform.dialogs->message(text, m_appTitle, MessageIcon::None);
}

} // namespace larkspire
