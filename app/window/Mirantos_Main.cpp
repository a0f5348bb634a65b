#include "Mirantos_Main.h"

#include "Ad7177.h"
#include "Graph_2ch.h"
#include "MessageBoxPresenter.h"
#include "MirantosVersion.h"
#include "Myfile.h"
#include "Mymessage.h"
#include "Mystatus.h"
#include "PaintBox.h"
#include "RecordFile.h"
#include "StatusBarWidget.h"
#include "Tables.h"
#include "Texts.h"
#include "UiFont.h"
#include "WindowDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 506;
constexpr int kStatusBarHeight = 20;
constexpr const char* kProgramVersion = "v" MIRANTOS_VERSION;
constexpr const char* kSaveFilter = "Data files (*.DTA)";
constexpr const char* kOpenFilter = "データファイル (*.DTA)";
constexpr const char* kInitialName = "*.DTA";

QString U(const char* text)
{
    return QString::fromUtf8(text);
}
QString U(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string ToPath(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

} // namespace

// Marks a handler of ours as running, so that a close that arrives while it
// waits (a command's answer, a redraw, a modal box) is carried out afterwards.
class TFormMain::HandlerScope {
public:
    explicit HandlerScope(TFormMain* w) : w_(w) { ++w_->handlerDepth_; }
    ~HandlerScope() { --w_->handlerDepth_; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    TFormMain* w_;
};

TFormMain::TFormMain(TFormMainDeps deps, QWidget* parent)
    : QMainWindow(parent), deps_(std::move(deps)), scratch_(std::make_unique<TChannelStorage>())
{
    // A close box and the system menu, no minimise or maximise box; the frame
    // still resizes within the limits below.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/mirantos/mirantos.xpm")));
    setFont(mirantos::UiFont(12));
    BuildControls();
    BuildMenus();
    // Client area 792 x 506 below the menu bar; resizable within the limits so
    // that the graph can be widened.
    move(359, 187);
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(740, 512);
    setMaximumSize(960, 768);

    if (!CreateServices()) {
        constructionFailed_ = true;
        close();
        return;
    }

    // Defaults of the controls, then the settings read back from them.
    SetMeasureCaption(U(mirantos::kStartCaption));
    ComboBox1->setCurrentIndex(mirantos::kDefaultRateIndex);
    ComboBox2->setCurrentIndex(mirantos::kDefaultCountIndex);
    ComboBox3->setCurrentIndex(mirantos::kDefaultChannelIndex);
    Sinc3_RB->setChecked(true);
    Sinc5_RB->setChecked(false);

    record_.Setting.spsSel = ComboBox1->currentIndex();
    record_.Setting.DataCountSel = ComboBox2->currentIndex();
    record_.Setting.CHSel = ComboBox3->currentIndex();
    record_.Setting.GainSel = 0;
    record_.Setting.Gain = 1;
    record_.Setting.Vref = 2.5f;
    record_.Setting.fSinc5 = 1;

    fStatusBarLayout = 0;
    record_.Clear();
    record_.ResetPointers();
    fFirstIdle = 1;

    FormCreate();
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

QWidget* TFormMain::PaintBox() const
{
    return PaintBox1;
}

void TFormMain::BuildControls()
{
    client_ = new QWidget(this);
    client_->resize(kClientWidth, kClientHeight);
    setCentralWidget(client_);

    auto place = [this](QWidget* w, QRect r, bool l, bool t, bool rt, bool b) {
        w->setGeometry(r);
        anchored_.push_back({w, r, l, t, rt, b});
    };
    auto label = [this](const QString& text) {
        auto* l = new QLabel(text, client_);
        l->adjustSize();
        return l;
    };

    PaintBox1 = new TPaintBox(client_);
    place(PaintBox1, QRect(72, 24, 560, 417), true, true, true, true);

    static constexpr int kYTops[11] = {26, 56, 91, 136, 183, 228, 273, 318, 362, 400, 436};
    for (int i = 0; i < 11; ++i) {
        QLabel* l = label(QStringLiteral("8388608"));
        l->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        l->setGeometry(16, kYTops[i], 42, 12);
        yLabelWidgets_.push_back(l);
    }
    Label15 = label(QString());
    Label15->setObjectName(QStringLiteral("Label15"));
    place(Label15, QRect(72, 445, Label15->width(), Label15->height()), true, false, false, true);
    Label16 = label(QString());
    Label16->setObjectName(QStringLiteral("Label16"));
    place(Label16, QRect(592, 445, Label16->width(), Label16->height()), false, false, true, true);

    QLabel* label14 = label(U("データレート"));
    place(label14, QRect(664, 24, label14->width(), label14->height()), false, true, true, false);
    ComboBox1 = new QComboBox(client_);
    for (auto text : mirantos::kRateItems)
        ComboBox1->addItem(U(text));
    place(ComboBox1, QRect(656, 40, 113, 20), false, true, true, false);

    QLabel* label12 = label(U("データ数"));
    label12->setFont(mirantos::UiFont(13));
    label12->adjustSize();
    place(label12, QRect(664, 68, label12->width(), label12->height()), false, true, true, false);
    ComboBox2 = new QComboBox(client_);
    for (auto text : mirantos::kCountItems)
        ComboBox2->addItem(U(text));
    place(ComboBox2, QRect(656, 84, 113, 20), false, true, true, false);

    QLabel* label13 = label(U("測定 CH"));
    label13->setFont(mirantos::UiFont(13));
    label13->adjustSize();
    place(label13, QRect(664, 112, label13->width(), label13->height()), false, true, true, false);
    ComboBox3 = new QComboBox(client_);
    for (auto text : mirantos::kChannelItems)
        ComboBox3->addItem(U(text));
    place(ComboBox3, QRect(656, 128, 113, 20), false, true, true, false);

    Panel2 = new QFrame(client_);
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Raised);
    place(Panel2, QRect(656, 184, 113, 52), false, true, true, false);
    Sinc3_RB = new QRadioButton(QStringLiteral("Sinc3"), Panel2);
    Sinc3_RB->move(8, 8);
    Sinc3_RB->adjustSize();
    Sinc5_RB = new QRadioButton(QStringLiteral("Sinc5+Sinc1"), Panel2);
    Sinc5_RB->move(8, 29);
    Sinc5_RB->adjustSize();

    MeasureBtn = new QPushButton(U(mirantos::kStartCaption), client_);
    place(MeasureBtn, QRect(656, 390, 113, 33), false, false, true, true);
    QuitBtn = new QPushButton(U("終了"), client_);
    place(QuitBtn, QRect(656, 424, 113, 33), false, false, true, true);

    StatusBar1 = new TStatusBarWidget(client_);
    StatusBar1->setGeometry(0, kClientHeight - 25, kClientWidth, 25);

    // The change and filter handlers do nothing: the controls are read when a run starts.
    connect(MeasureBtn, &QPushButton::clicked, this, &TFormMain::MeasureBtnClick);
    connect(QuitBtn, &QPushButton::clicked, this, &TFormMain::QuitBtnClick);
    connect(StatusBar1, &TStatusBarWidget::clicked, this, &TFormMain::StatusBar1Click);

    setTabOrder(Panel2, ComboBox1);
    setTabOrder(ComboBox1, ComboBox2);
    setTabOrder(ComboBox2, MeasureBtn);
    setTabOrder(MeasureBtn, QuitBtn);
    setTabOrder(QuitBtn, ComboBox3);

    client_->installEventFilter(this);
}

void TFormMain::BuildMenus()
{
    File1 = menuBar()->addMenu(U("ファイル(&F)"));
    Exit1 = File1->addAction(U("終了(&X)"));
    connect(Exit1, &QAction::triggered, this, &TFormMain::Exit1Click);

    Data1 = menuBar()->addMenu(U("データ(&D)"));
    Save1 = Data1->addAction(U("保存(&S)"));
    connect(Save1, &QAction::triggered, this, &TFormMain::Save1Click);
    Load1 = Data1->addAction(U("読込み(&O)"));
    connect(Load1, &QAction::triggered, this, &TFormMain::Load1Click);
    Data1->addAction(QStringLiteral("---"));
    DataClear = Data1->addAction(U("クリア"));
    connect(DataClear, &QAction::triggered, this, &TFormMain::DataClearClick);

    MenuY = menuBar()->addMenu(U("Y軸表示"));
    MenuY_Volt = MenuY->addAction(U("電圧値"));
    MenuY_Volt->setCheckable(true);
    MenuY_Volt->setChecked(false);
    // The handler toggles the check mark itself.
    connect(MenuY_Volt, &QAction::triggered, this, [this](bool checked) {
        MenuY_Volt->setChecked(!checked);
        MenuY_VoltClick();
    });
}

bool TFormMain::CreateServices()
{
    auto before = [this](const char* part) {
        if (deps_.BeforeCreate)
            deps_.BeforeCreate(part);
    };

    if (deps_.Presenter) {
        presenter_ = deps_.Presenter;
    } else {
        ownPresenter_ = std::make_unique<TMessageBoxPresenter>();
        presenter_ = ownPresenter_.get();
    }
    try {
        before(mirantos::text::PartMessage);
        message_ = std::make_unique<TmyMessage>(U(mirantos::text::BoardShortName),
                                                mirantos::text::BoxCaption, presenter_);
    } catch (const std::bad_alloc&) {
        // The message object itself is missing: the box is shown directly.
        const QString text = U(mirantos::text::BoxMemoryError) + U(mirantos::text::PartMessage);
        presenter_->ShowError(U(mirantos::text::BoxCaption), text);
        return false;
    }

    auto attempt = [&](const char* part, auto&& create) {
        try {
            before(part);
            create();
            return true;
        } catch (const std::bad_alloc&) {
            message_->MemoryError(QString::fromLatin1(part));
            return false;
        }
    };

    if (!attempt(mirantos::text::PartStatus, [&] {
            status_ = std::make_unique<TmyStatus>(StatusBar1, U(mirantos::text::BoardName), 2);
        }))
        return false;
    if (!attempt(mirantos::text::PartBoard,
                 [&] { adc_ = std::make_unique<TADC>(this, deps_.MakeDriver()); }))
        return false;
    if (!attempt(mirantos::text::PartFile, [&] {
            file_ = std::make_unique<TmyFile>([this](const std::string& text) {
                return dialogs_->AskOverwrite(QString::fromUtf8(text.c_str()));
            });
        }))
        return false;

    for (int i = 0; i < 11; ++i) {
        labelAdapters_.push_back(
            std::make_unique<TLabelAdapter>(yLabelWidgets_[static_cast<size_t>(i)]));
        YLabels[i] = labelAdapters_.back().get();
    }
    labelAdapters_.push_back(std::make_unique<TLabelAdapter>(Label15));
    XLabels[0] = labelAdapters_.back().get();
    labelAdapters_.push_back(std::make_unique<TLabelAdapter>(Label16));
    XLabels[1] = labelAdapters_.back().get();

    if (!attempt(mirantos::text::PartGraph, [&] {
            graph_ = std::make_unique<TGraph_2CH>(PaintBox1, &record_.Ch0, &record_.Ch1,
                                                  &record_.Setting, XLabels, YLabels);
        }))
        return false;
    graph_->SetProcessEvents([] { QCoreApplication::processEvents(); });

    if (deps_.Dialogs) {
        dialogs_ = deps_.Dialogs;
    } else {
        ownDialogs_ = std::make_unique<TQtWindowDialogs>(this);
        dialogs_ = ownDialogs_.get();
    }
    controller_ = std::make_unique<TMeasureController>(static_cast<IControllerHost*>(this),
                                                       &record_, adc_.get(), status_.get(),
                                                       message_.get(), graph_.get());
    return true;
}

void TFormMain::FormCreate()
{
    ScheduleIdle();
    UpdateCaption(QString());
}

void TFormMain::FormDestroy()
{
    // The controller goes first: it refers to every service below.
    controller_.reset();
    message_.reset();
    status_.reset();
    adc_.reset();
    file_.reset();
    graph_.reset();
}

void TFormMain::UpdateCaption(const QString& name)
{
    QString caption = U(mirantos::text::AppTitle) + QStringLiteral(" / ") + U(kProgramVersion);
    if (!name.isEmpty())
        caption += QStringLiteral(" : ") + name;
    setWindowTitle(caption);
}

void TFormMain::LayoutStatusBar()
{
    // The client area has no border of its own here.
    const int border = 0;
    StatusBar1->setGeometry(0, client_->height() - border - kStatusBarHeight, client_->width(),
                            kStatusBarHeight);
}

// An idle pass outside a run: only scheduled when one of its jobs is due, so
// nothing polls while the program waits for the user.
void TFormMain::ScheduleIdle()
{
    if (idleScheduled_)
        return;
    idleScheduled_ = true;
    QTimer::singleShot(0, this, &TFormMain::IdleHandler);
}

void TFormMain::IdleHandler()
{
    idleScheduled_ = false;
    if (fFirstIdle) {
        fFirstIdle = 0;
        MeasureBtn->setFocus();
        if (graph_)
            graph_->DrawDefault(VoltMode());
    }
    if (fStatusBarLayout) {
        fStatusBarLayout = 0;
        LayoutStatusBar();
    }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client_ && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::ApplyAnchors()
{
    const int dw = client_->width() - kClientWidth;
    const int dh = client_->height() - kClientHeight;
    for (const Anchored& a : anchored_) {
        QRect r = a.design;
        if (a.left && a.right)
            r.setWidth(r.width() + dw);
        else if (a.right)
            r.moveLeft(r.left() + dw);
        if (a.top && a.bottom)
            r.setHeight(r.height() + dh);
        else if (a.bottom)
            r.moveTop(r.top() + dh);
        // Self-sizing labels keep their own size.
        if (qobject_cast<QLabel*>(a.widget))
            r.setSize(a.widget->size());
        a.widget->setGeometry(r);
    }
}

void TFormMain::FormResize()
{
    HandlerScope scope(this);
    ApplyAnchors();
    if (!graph_)
        return;
    graph_->ResizeBitmap();
    if (record_.Ch0.Count != 0 || record_.Ch1.Count != 0)
        graph_->DrawRecord(VoltMode());
    else
        graph_->DrawDefault(VoltMode());
    fStatusBarLayout = 1;
    ScheduleIdle();
}

bool TFormMain::InHandler() const
{
    return handlerDepth_ > 0 || (controller_ && controller_->Busy());
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    // A handler that waits for the board or redraws lets the close event in;
    // the window goes only after that handler has returned.
    if (InHandler()) {
        event->ignore();
        if (!closePending_) {
            closePending_ = true;
            auto* retry = new QTimer(this);
            retry->setInterval(10);
            connect(retry, &QTimer::timeout, this, [this, retry] {
                if (InHandler())
                    return;
                retry->stop();
                retry->deleteLater();
                closePending_ = false;
                close();
            });
            retry->start();
        }
        return;
    }
    event->accept();
}

// --- IControllerHost -------------------------------------------------------

void TFormMain::SetControlsEnabled(bool on)
{
    File1->menuAction()->setEnabled(on);
    Data1->menuAction()->setEnabled(on);
    MenuY->menuAction()->setEnabled(on);
    ComboBox1->setEnabled(on);
    ComboBox2->setEnabled(on);
    ComboBox3->setEnabled(on);
    Sinc3_RB->setEnabled(on);
    Sinc5_RB->setEnabled(on);
    QuitBtn->setEnabled(on);
    MeasureBtn->setEnabled(on);
}

void TFormMain::DisableControls()
{
    SetControlsEnabled(false);
}
void TFormMain::EnableControls()
{
    SetControlsEnabled(true);
}
void TFormMain::EnableMeasureButtonOnly()
{
    MeasureBtn->setEnabled(true);
}
QString TFormMain::MeasureCaption() const
{
    return MeasureBtn->text();
}
void TFormMain::SetMeasureCaption(const QString& caption)
{
    MeasureBtn->setText(caption);
}
int TFormMain::RateIndex() const
{
    return ComboBox1->currentIndex();
}
int TFormMain::CountIndex() const
{
    return ComboBox2->currentIndex();
}
int TFormMain::ChannelIndex() const
{
    return ComboBox3->currentIndex();
}
bool TFormMain::Sinc3Checked() const
{
    return Sinc3_RB->isChecked();
}
bool TFormMain::VoltMode() const
{
    return MenuY_Volt->isChecked();
}

// --- Commands --------------------------------------------------------------

void TFormMain::MeasureBtnClick()
{
    HandlerScope scope(this);
    if (controller_)
        controller_->MeasureBtnClick();
}

void TFormMain::QuitBtnClick()
{
    close();
}
void TFormMain::Exit1Click()
{
    close();
}

void TFormMain::Save1Click()
{
    HandlerScope scope(this);
    if (!message_ || !file_ || !status_)
        return;
    if (!record_.HasData()) {
        message_->NoDataError();
        return;
    }
    QString chosen;
    if (!dialogs_->SaveFileName(U(kSaveFilter), U(kInitialName), &chosen) || chosen.isEmpty())
        return;

    const std::string name = WithDtaExtension(ToPath(chosen));
    TSaveOutcome outcome = TSaveOutcome::Failed;
    const bool ok = mirantos::SaveRecord(*file_, name, record_, &outcome);
    if (!ok || outcome == TSaveOutcome::Failed) {
        message_->SaveError();
        return;
    }
    // A declined overwrite wrote nothing, so it claims nothing either.
    if (outcome == TSaveOutcome::Declined)
        return;
    status_->ShowFileSaved();
    UpdateCaption(QFile::decodeName(QByteArray::fromStdString(name)));
}

void TFormMain::Load1Click()
{
    HandlerScope scope(this);
    if (!message_ || !file_ || !status_ || !graph_ || !adc_)
        return;
    QString chosen;
    if (!dialogs_->OpenFileName(U(kOpenFilter), U(kInitialName), &chosen) || chosen.isEmpty())
        return;

    setFocus();
    DisableControls();

    // Read into scratch buffers: a file that fails half-way leaves the data
    // set, graph, readout and caption as they were.
    if (!mirantos::LoadRecord(*file_, ToPath(chosen), *scratch_, record_, adc_->GetGain())) {
        message_->DataFileError();
        EnableControls();
        return;
    }

    const TAdcSetting& s = record_.Setting;
    ComboBox1->setCurrentIndex(s.spsSel);
    ComboBox2->setCurrentIndex(s.DataCountSel);
    ComboBox3->setCurrentIndex(s.CHSel);
    Sinc5_RB->setChecked(s.fSinc5 == 1);
    Sinc3_RB->setChecked(s.fSinc5 != 1);

    controller_->CompleteDataSet();
    SetMeasureCaption(U(mirantos::kStartCaption));
    status_->ShowFileLoaded();
    UpdateCaption(chosen);
    controller_->ShowDataSetStatistics();
    EnableControls();
}

void TFormMain::DataClearClick()
{
    HandlerScope scope(this);
    record_.Clear();
    if (graph_)
        graph_->DrawDefault(VoltMode());
}

void TFormMain::MenuY_VoltClick()
{
    HandlerScope scope(this);
    MenuY_Volt->setChecked(!MenuY_Volt->isChecked());
    if (!graph_ || !controller_)
        return;
    if (record_.HasData())
        graph_->DrawRecord(VoltMode());
    else
        graph_->DrawDefault(VoltMode());

    const int chsel = record_.Setting.CHSel;
    if (chsel == 0 && record_.fCh0Valid)
        controller_->ShowChannelStatistics(0);
    else if (chsel == 1 && record_.fCh1Valid)
        controller_->ShowChannelStatistics(1);
    else if (chsel == 2 && record_.fCh0Valid && record_.fCh1Valid)
        controller_->ShowChannelStatistics(controller_->fStatCh0 ? 0 : 1);
}

void TFormMain::StatusBar1Click()
{
    HandlerScope scope(this);
    if (!controller_ || !(record_.fCh0Valid && record_.fCh1Valid))
        return;
    if (controller_->fStatCh0) {
        controller_->ShowChannelStatistics(1);
        controller_->fStatCh0 = 0;
    } else {
        controller_->ShowChannelStatistics(0);
        controller_->fStatCh0 = 1;
    }
}
