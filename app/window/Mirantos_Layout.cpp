// TFormMain's layout: the controls at their design places with their anchors,
// the menus, and what a resize moves.

#include "Mirantos_Main.h"

#include "AnalysisTexts.h"
#include "MeasureSession.h"
#include "PaintBox.h"
#include "StationTexts.h"
#include "StatusBarWidget.h"
#include "Tables.h"
#include "Texts.h"
#include "UiFont.h"
#include "ViewerTexts.h"
#include "WindowInternals.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

using namespace mirantos;

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
    place(PaintBox1, QRect(kPaintBoxLeft, kPaintBoxTop, kPaintBoxWidth, kPaintBoxHeight), true,
          true, true, true);

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

    QLabel* label14 = label(U(text::RateCaption));
    place(label14, QRect(664, 24, label14->width(), label14->height()), false, true, true, false);
    ComboBox1 = new QComboBox(client_);
    for (auto text : mirantos::kRateItems)
        ComboBox1->addItem(U(text));
    place(ComboBox1, QRect(656, 40, 113, 20), false, true, true, false);

    QLabel* label12 = label(U(text::CountCaption));
    label12->setFont(mirantos::UiFont(13));
    label12->adjustSize();
    place(label12, QRect(664, 68, label12->width(), label12->height()), false, true, true, false);
    ComboBox2 = new QComboBox(client_);
    for (auto text : mirantos::kCountItems)
        ComboBox2->addItem(U(text));
    place(ComboBox2, QRect(656, 84, 113, 20), false, true, true, false);

    QLabel* label13 = label(U(text::ChannelCaption));
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
    Sinc3_RB = new QRadioButton(U(text::Sinc3Caption), Panel2);
    Sinc3_RB->move(8, 8);
    Sinc3_RB->adjustSize();
    Sinc5_RB = new QRadioButton(U(text::Sinc5Caption), Panel2);
    Sinc5_RB->move(8, 29);
    Sinc5_RB->adjustSize();

    MeasureBtn = new QPushButton(U(text::StartCaption), client_);
    place(MeasureBtn, QRect(656, 390, 113, 33), false, false, true, true);
    QuitBtn = new QPushButton(U(text::QuitCaption), client_);
    place(QuitBtn, QRect(656, 424, 113, 33), false, false, true, true);

    StatusBar1 = new TStatusBarWidget(client_);
    StatusBar1->setGeometry(0, kClientHeight - 25, kClientWidth, 25);
    BuildProgressBar();

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
    File1 = menuBar()->addMenu(U(text::MenuFile));
    Exit1 = File1->addAction(U(text::MenuExit));
    connect(Exit1, &QAction::triggered, this, &TFormMain::Exit1Click);

    Data1 = menuBar()->addMenu(U(text::MenuData));
    Save1 = Data1->addAction(U(text::MenuSave));
    connect(Save1, &QAction::triggered, this, &TFormMain::Save1Click);
    Load1 = Data1->addAction(U(text::MenuLoad));
    connect(Load1, &QAction::triggered, this, &TFormMain::Load1Click);
    Data1->addAction(QStringLiteral("---"));
    DataClear = Data1->addAction(U(text::MenuClear));
    connect(DataClear, &QAction::triggered, this, &TFormMain::DataClearClick);
    NoiseAnalysis1 = Data1->addAction(U(text::AnalysisMenuItem));
    NoiseAnalysis1->setEnabled(false);
    connect(NoiseAnalysis1, &QAction::triggered, this, &TFormMain::NoiseAnalysis1Click);
    TraceViewer1 = Data1->addAction(U(text::ViewerMenuItem));
    connect(TraceViewer1, &QAction::triggered, this, &TFormMain::TraceViewer1Click);
    Capture1 = Data1->addAction(U(text::MenuCapture));
    connect(Capture1, &QAction::triggered, this, &TFormMain::Capture1Click);
    Station1 = Data1->addAction(U(text::StationMenuItem));
    connect(Station1, &QAction::triggered, this, &TFormMain::Station1Click);

    MenuY = menuBar()->addMenu(U(text::MenuYAxis));
    MenuY_Volt = MenuY->addAction(U(text::MenuVolt));
    MenuY_Volt->setCheckable(true);
    MenuY_Volt->setChecked(false);
    // The handler toggles the check mark itself.
    connect(MenuY_Volt, &QAction::triggered, this, [this](bool checked) {
        MenuY_Volt->setChecked(!checked);
        MenuY_VoltClick();
    });
}

void TFormMain::LayoutStatusBar()
{
    // The client area has no border of its own here.
    const int border = 0;
    StatusBar1->setGeometry(0, client_->height() - border - kStatusBarHeight, client_->width(),
                            kStatusBarHeight);
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
    if (!session_ || !session_->Created())
        return;
    session_->Resized();
    fStatusBarLayout = 1;
    ScheduleIdle();
}
