#include "ViewerAxisControls.h"

#include "Texts.h"
#include "ViewerTexts.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace mirantos {

TViewerAxisControls::TViewerAxisControls(QWidget* window, QHBoxLayout* row, TActions actions)
    : actions_(std::move(actions))
{
    using trace::TYLayout;
    layout_ = new QComboBox(window);
    layout_->setObjectName("layout");
    layout_->addItem(U(text::ViewerLayoutCommon), static_cast<int>(TYLayout::Common));
    layout_->addItem(U(text::ViewerLayoutLanes), static_cast<int>(TYLayout::Lanes));
    layout_->addItem(U(text::ViewerLayoutAc), static_cast<int>(TYLayout::Ac));
    fitY_ = new QPushButton(U(text::ViewerFitY), window);
    fitY_->setObjectName("fitY");
    fitY_->setToolTip("Y");
    time_ = new QComboBox(window);
    time_->setObjectName("timeAxis");
    time_->addItem(U(text::ViewerTimeElapsed), false);
    time_->addItem(U(text::ViewerTimeClock), true);

    row->addSpacing(16);
    row->addWidget(new QLabel(U(text::ViewerLayout), window));
    row->addWidget(layout_);
    row->addWidget(fitY_);
    row->addSpacing(16);
    row->addWidget(new QLabel(U(text::ViewerTimeAxis), window));
    row->addWidget(time_);

    QObject::connect(layout_, &QComboBox::activated, window, [this](int index) {
        actions_.layout(static_cast<TYLayout>(layout_->itemData(index).toInt()));
    });
    QObject::connect(fitY_, &QPushButton::clicked, window, [this] { actions_.fitY(); });
    auto* key = new QShortcut(QKeySequence(Qt::Key_Y), window);
    QObject::connect(key, &QShortcut::activated, window, [this] {
        if (fitY_->isEnabled())
            actions_.fitY();
    });
    QObject::connect(time_, &QComboBox::activated, window,
                     [this](int index) { actions_.wallClock(time_->itemData(index).toBool()); });
}

void TViewerAxisControls::Update(bool held, bool hasStart, trace::TYLayout layout, bool wallClock)
{
    layout_->setEnabled(held);
    layout_->setCurrentIndex(layout_->findData(static_cast<int>(layout)));
    fitY_->setEnabled(held);
    time_->setEnabled(held && hasStart);
    time_->setCurrentIndex(wallClock && time_->isEnabled() ? 1 : 0);
}

void KeepReadoutSize(QLabel* label, int lines)
{
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    const QMargins m = label->contentsMargins();
    label->setFixedHeight(lines * QFontMetrics(label->font()).lineSpacing() + m.top() + m.bottom());
}

} // namespace mirantos
