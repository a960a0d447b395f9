// The window's controls, the pointer rules and the event pumps that long
// operations let the window run by.
#include "window/main_window.h"

#include "core/failure.h"
#include "window/twips.h"

#include <QApplication>
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

QPalette readablePalette(const QPalette& system)
{
    // The window's surface is white whatever the desktop theme says, so its
    // texts are dark in every theme too; a dark theme's button face gives
    // way to a light one. Selection colours stay the desktop's.
    QPalette pal = system;
    QColor face = system.color(QPalette::Active, QPalette::Button);
    if (face.lightness() < 160)
        face = QColor(0xef, 0xef, 0xef);
    const QColor text(Qt::black);
    const QColor disabledText(0x80, 0x80, 0x80);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        pal.setColor(group, QPalette::Window, Qt::white);
        pal.setColor(group, QPalette::Base, Qt::white);
        pal.setColor(group, QPalette::AlternateBase, QColor(0xf5, 0xf5, 0xf5));
        pal.setColor(group, QPalette::Button, face);
        pal.setColor(group, QPalette::Light, Qt::white);
        pal.setColor(group, QPalette::Midlight, face.lighter(110));
        pal.setColor(group, QPalette::Mid, face.darker(130));
        pal.setColor(group, QPalette::Dark, face.darker(160));
        pal.setColor(group, QPalette::Shadow, Qt::black);
        pal.setColor(group, QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
        pal.setColor(group, QPalette::ToolTipText, text);
        pal.setColor(group, QPalette::PlaceholderText, disabledText);
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(group, role, disabled ? disabledText : text);
    }
    return pal;
}

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
    createKeyboardCommands();
    describeForAccessibility();
    loadWindow();
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(twipsToPixels(8040), twipsToPixels(9255));
    setFont(arialBold(9));
    setAutoFillBackground(true);
    setPalette(readablePalette(QApplication::palette()));

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

    m_ui.symbolView = list("ListView1", false, twipsRect(120, 120, 7800, 2535));
    m_ui.resultsView = list("ListView2", true, twipsRect(120, 5085, 7800, 2535));
    m_ui.addSymbolButton = button("PushButton6", "Add Stock Symbol", twipsRect(120, 2750, 3840, 405));
    m_ui.loadFileButton = button("PushButton3", "Load Symbols From File", twipsRect(4080, 2750, 3840, 405));
    m_ui.clearListButton = button("PushButton1", "Clear List", twipsRect(120, 3260, 3840, 405));
    m_ui.startButton = button("PushButton17", "Start Retrieving Quotes", twipsRect(120, 4575, 7800, 405));
    m_ui.saveTextButton = button("PushButton4", "Save Results As Text File", twipsRect(120, 7710, 3840, 405));
    m_ui.saveWorkbookButton = button("PushButton13", "Save Results As Excel File", twipsRect(4080, 7710, 3840, 405));
    m_ui.clearResultsButton = button("PushButton2", "Clear Results", twipsRect(4080, 8220, 3840, 405));

    m_ui.displayOptionFrame = new QGroupBox(QStringLiteral("Display Option"), this);
    m_ui.displayOptionFrame->setObjectName(QStringLiteral("Frame2"));
    m_ui.displayOptionFrame->setGeometry(twipsRect(120, 3720, 7800, 750));
    m_ui.displayOptionFrame->setMouseTracking(true);
    m_ui.displayOptionFrame->installEventFilter(this);
    m_ui.showNamesCheck =
        new QCheckBox(QStringLiteral("Show full stock name in results instead of stock symbol"), m_ui.displayOptionFrame);
    m_ui.showNamesCheck->setObjectName(QStringLiteral("Check5"));
    m_ui.showNamesCheck->setGeometry(twipsRect(240, 300, 5265, 285));
    m_ui.showNamesCheck->setMouseTracking(true);
    m_ui.showNamesCheck->installEventFilter(this);
    connect(m_ui.showNamesCheck, &QCheckBox::toggled, this, &MainWindow::onShowNamesToggled);

    m_ui.copyButton = button("PushButton5", "Copy Results To Clipboard", twipsRect(120, 8220, 3840, 405));
    m_ui.sampleButton = button("PushButton7", "Load Sample/Example Symbols", twipsRect(4080, 3260, 3840, 405));
    m_ui.progressBar = new ProgressBar(this);
    m_ui.progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_ui.progressBar->setGeometry(twipsRect(120, 8730, 7800, 405));
    m_ui.progressBar->setBarText(QStringLiteral("Progress Bar"));
    m_ui.progressBar->setMouseTracking(true);

    const QList<QWidget*> order{m_ui.symbolView,    m_ui.resultsView,   m_ui.addSymbolButton,  m_ui.loadFileButton,
                                m_ui.clearListButton,  m_ui.startButton, m_ui.saveTextButton, m_ui.saveWorkbookButton,
                                m_ui.clearResultsButton,  m_ui.showNamesCheck,      m_ui.copyButton,  m_ui.sampleButton};
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    m_ui.progressBar->setFocusPolicy(Qt::NoFocus);

    setMouseTracking(true);
}

void MainWindow::connectHandlers()
{
    connect(m_ui.addSymbolButton, &QPushButton::clicked, this, &MainWindow::addSymbol);
    connect(m_ui.loadFileButton, &QPushButton::clicked, this, &MainWindow::loadSymbolFiles);
    connect(m_ui.clearListButton, &QPushButton::clicked, this, &MainWindow::clearSymbolList);
    connect(m_ui.sampleButton, &QPushButton::clicked, this, &MainWindow::loadSampleSymbols);
    connect(m_ui.symbolView, &ListView::keyDown, this, &MainWindow::symbolListKeyDown);
    connect(m_ui.symbolView, &ListView::dblClick, this, &MainWindow::removeSelectedSymbol);
    connect(m_ui.startButton, &QPushButton::clicked, this, &MainWindow::retrieveQuotes);
    connect(m_ui.resultsView, &ListView::dblClick, this, &MainWindow::removeSelectedResult);
    connect(m_ui.resultsView, &ListView::keyDown, this, &MainWindow::resultsListKeyDown);
    connect(m_ui.clearResultsButton, &QPushButton::clicked, this, &MainWindow::clearResults);
    connect(m_ui.saveTextButton, &QPushButton::clicked, this, &MainWindow::saveResultsAsText);
    connect(m_ui.copyButton, &QPushButton::clicked, this, &MainWindow::copyResultsToClipboard);
    connect(m_ui.saveWorkbookButton, &QPushButton::clicked, this, &MainWindow::saveResultsAsWorkbook);
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
    deliverHeldInput(m_heldInput);
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
            if (view == m_ui.symbolView)
                rememberRemoved({{selected, view->items().text(selected)}});
            view->items().remove(selected);
            // The view would move the selection on to the next row, and a
            // second Delete would remove that one too.
            view->clearSelection();
        }
    } catch (...) {
    }
}

void MainWindow::rememberRemoved(RemovedSymbols removed)
{
    if (removed.empty())
        return;
    // Several steps back, for this session; the oldest go first.
    constexpr size_t kMaxUndoSteps = 100;
    if (m_symbolUndo.size() >= kMaxUndoSteps)
        m_symbolUndo.erase(m_symbolUndo.begin());
    m_symbolUndo.push_back(std::move(removed));
}

void MainWindow::undoSymbolRemoval()
{
    if (isBusy() || m_symbolUndo.empty())
        return;
    RemovedSymbols removed = std::move(m_symbolUndo.back());
    m_symbolUndo.pop_back();
    // Back in their places, in order; runs of neighbours go in at once.
    ListModel& list = symbolList();
    size_t i = 0;
    while (i < removed.size()) {
        const int at = std::min(removed[i].first, list.count() + 1);
        QStringList run{removed[i].second};
        size_t j = i + 1;
        while (j < removed.size() && removed[j].first == removed[j - 1].first + 1)
            run << removed[j++].second;
        list.insertMany(at, run);
        i = j;
    }
}

void MainWindow::message(const QString& text)
{
    m_platform.dialogs->message(text, m_appTitle, MessageIcon::None);
}

} // namespace larkspire
