#include "main_window.h"

#include "app_icon.h"
#include "common_routines.h"
#include "cursor_file.h"
#include "step_runner.h"
#include "stored_values.h"
#include "twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

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
        if (selected > 0)
            view->items().remove(selected);
    } catch (...) {
    }
}

void MainWindow::message(const QString& text)
{
    m_platform.dialogs->message(text, m_appTitle, MessageIcon::None);
}

// ---------------------------------------------------------------------------
// Load sequence

void MainWindow::Form_Load()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    runHandler([&] {
        step(100, [&] { ApplySkin(); });
        step(106, [&] {
            if (m_platform.onlineCheck)
                m_platform.onlineCheck(m_appTitle);
        });
        step(108, [&] {
            setWindowTitle(kProductTitle);
            setWindowIcon(applicationIcon());
            SetAppTitle();
        });
        QString cursorPath;
        step(110, [&] {
            cursorPath = m_platform.programFolder + QStringLiteral("/HAND-M.CUR");
            if (!FileExists(cursorPath))
                cursorPath.clear();
        });
        if (!cursorPath.isEmpty()) {
            step(112, [&] {
                QFile file(cursorPath);
                if (!file.open(QIODevice::ReadOnly))
                    throw Failure(file.errorString(), 53);
                const auto cursor = readCursorFile(file.read(1 << 20));
                if (!cursor)
                    throw Failure(QStringLiteral("Invalid picture"), 481);
                m_handCursor = QCursor(QPixmap::fromImage(cursor->image), cursor->hotSpot.x(),
                                       cursor->hotSpot.y());
            });
        }
        setUpColumns(step);
        restoreDisplayOption(step);
        restoreSymbols(step);
    });
}

void MainWindow::setUpColumns(StepRunner& step)
{
    ListView& symbols = *m_ui.ListView1;
    step(132, [&] { symbols.items().addColumn(QStringLiteral("Stock Symbols (GOOG for example)")); });
    step(134, [&] { symbols.setColumnWidthTwips(1, 7000); });

    static const char* const headers[] = {"Results", "Stock Price", "Open",    "High",      "Low",
                                          " Volume", "Avg Vol",     "Mkt Cap", "Prev Close"};
    ListView& results = *m_ui.ListView2;
    for (int c = 0; c < 9; ++c)
        step(136 + 2 * c, [&] { results.items().addColumn(QString::fromLatin1(headers[c])); });
    for (int c = 0; c < 9; ++c)
        step(154 + 2 * c, [&] { results.setColumnWidthTwips(c + 1, c == 0 ? 3000 : 1500); });
}

void MainWindow::restoreDisplayOption(StepRunner& step)
{
    step(172, [&] {
        const QString stored =
            m_settings.read(kSettingsApplication, kSettingsSection, kKeyShowFullnames, QStringLiteral("1"));
        m_inLoadStep172 = true;
        m_check5Failure.reset();
        m_ui.Check5->setChecked(leadingNumericValue(stored) != 0.0);
        m_inLoadStep172 = false;
        if (m_check5Failure)
            throw Failure(*std::exchange(m_check5Failure, std::nullopt));
    });
    bool ticked = false;
    step(174, [&] { ticked = m_ui.Check5->isChecked(); });
    if (ticked)
        step(176, [&] { resultsList().setHeaderText(1, QStringLiteral("Stock Name")); });
    else
        step(178, [&] { resultsList().setHeaderText(1, QStringLiteral("Stock Symbol")); });
}

void MainWindow::restoreSymbols(StepRunner& step)
{
    QString stored;
    step(180, [&] { stored = m_settings.read(kSettingsApplication, kSettingsSection, kKeyStockQuotes, QString()); });
    if (stored.isEmpty()) // step 182
        return;
    QStringList pieces;
    step(184, [&] { pieces = splitStoredSymbols(stored); });
    // Steps 186 to 192: every non-empty piece, in order, appended unchanged.
    // The pieces go into the list in one batch; no events run meanwhile.
    step(190, [&] {
        pieces.removeIf([](const QString& p) { return p.isEmpty(); });
        symbolList().addMany(pieces);
    });
}

void MainWindow::SetAppTitle() { m_appTitle = AppTitleFromProductTitle(kProductTitle); }

void MainWindow::ApplySkin()
{
    const QFileInfo skin(m_platform.programFolder + QStringLiteral("/x/o.cjs"));
    if (!skin.isFile())
        return;
    // Without the skin component the window keeps the button-face colour
    // that goes with a skin.
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_ui.Frame2),
                       static_cast<QWidget*>(m_ui.Check5)}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, face);
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
}

// ---------------------------------------------------------------------------
// Display option

void MainWindow::onCheck5Toggled()
{
    try {
        Check5_Click();
    } catch (...) {
        const QString description = describeCurrentException();
        if (m_inLoadStep172) {
            m_check5Failure = description;
        } else {
            // A failed write must not go unnoticed: the option would not
            // come back at the next start.
            StepRunner(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("Check5_Click"))
                .report(100, description);
        }
    }
}

void MainWindow::Check5_Click()
{
    const bool ticked = m_ui.Check5->isChecked();
    // The header follows the box even when the setting cannot be written.
    struct HeaderUpdate {
        MainWindow* w;
        bool ticked;
        ~HeaderUpdate()
        {
            if (w->resultsList().columnTotal() >= 1)
                w->resultsList().setHeaderText(1, ticked ? QStringLiteral("Stock Name")
                                                         : QStringLiteral("Stock Symbol"));
        }
    } header{this, ticked};
    m_settings.write(kSettingsApplication, kSettingsSection, kKeyShowFullnames,
                     ticked ? QStringLiteral("1") : QStringLiteral("0"));
}

// ---------------------------------------------------------------------------
// Close request and unload

void MainWindow::Form_QueryUnload()
{
    StepRunner step(*m_platform.dialogs, QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    QString text;
    step(102, [&] {
        // Every item joined by ";" with none at the end (steps 102 to 108).
        const ListModel& list = symbolList();
        QStringList items;
        items.reserve(list.count());
        for (int i = 1; i <= list.count(); ++i)
            items.append(list.text(i));
        text = joinSymbols(items);
    });
    step(110, [&] { m_settings.write(kSettingsApplication, kSettingsSection, kKeyStockQuotes, text); });
    step(112, [&] { QCoreApplication::processEvents(); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closing || m_ended)
        return;
    m_closing = true;
    Form_QueryUnload();
    Form_Unload();
}

void MainWindow::Form_Unload()
{
    if (m_ended)
        return;
    m_ended = true;
    hide();
    emit ended();
    if (m_platform.http)
        m_platform.http->abort();
    if (m_platform.endProgram)
        m_platform.endProgram();
}

} // namespace larkspire
