#include "StationResultWindow.h"

#include "StationTexts.h"
#include "Texts.h"
#include "UiFont.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace mirantos {

namespace {

QString Number(double v)
{
    return QString::number(v, 'g', 6);
}

QString FigureCell(const station::TLimit& limit)
{
    QString s = QString::fromStdString(limit.figure);
    if (limit.bandLowHz && limit.bandHighHz)
        s += U(text::StationBandPrefix) + Number(*limit.bandLowHz) + U(text::StationRangeTo) +
             Number(*limit.bandHighHz) + QStringLiteral(" Hz");
    return s;
}

QString LimitCell(const station::TLimit& limit)
{
    if (limit.min && limit.max)
        return Number(*limit.min) + U(text::StationRangeTo) + Number(*limit.max);
    if (limit.max)
        return Number(*limit.max) + U(text::StationAtMost);
    if (limit.min)
        return Number(*limit.min) + U(text::StationAtLeast);
    return QString();
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignLeft)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

const QColor kPassColor(0, 128, 0);
const QColor kFailColor(200, 0, 0);

} // namespace

TStationResultWindow::TStationResultWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(U(text::StationResultTitle));
    setFont(UiFont(WindowFontPixels));
    test_ = new QLabel;
    board_ = new QLabel(U(text::StationSimulatedResult));
    QFont bold = board_->font();
    bold.setBold(true);
    board_->setFont(bold);
    board_->hide();
    verdict_ = new QLabel;
    verdict_->setAlignment(Qt::AlignCenter);
    QFont big = UiFont(36);
    big.setBold(true);
    verdict_->setFont(big);
    table_ = new QTableWidget(0, 6);
    table_->setHorizontalHeaderLabels({U(text::StationColChannel), U(text::StationColFigure),
                                       U(text::StationColValue), U(text::StationColLimit),
                                       U(text::StationColVerdict), U(text::StationColMargin)});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    data_ = new QLabel;
    data_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    storage_ = new QLabel;
    storage_->setWordWrap(true);
    storage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Paths and server messages are shown as written.
    for (QLabel* l : {test_, data_, storage_})
        l->setTextFormat(Qt::PlainText);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(test_);
    layout->addWidget(board_);
    layout->addWidget(verdict_);
    layout->addWidget(table_, 1);
    layout->addWidget(data_);
    layout->addWidget(storage_);
    resize(640, 420);
}

void TStationResultWindow::ShowVerdict(const station::TTestLimits& limits,
                                       const station::TVerdict& verdict, const QString& serial,
                                       const QString& dataPath, bool simulatedBoard)
{
    test_->setText(U(text::StationTestCaption) + QString::fromStdString(limits.name) +
                   QStringLiteral(" (") + QString::fromStdString(limits.version) +
                   QStringLiteral(")") + U(text::StationSerialInfix) + serial);
    board_->setVisible(simulatedBoard);
    verdict_->setText(U(verdict.pass ? text::StationPass : text::StationFail));
    QPalette palette = verdict_->palette();
    palette.setColor(QPalette::WindowText, verdict.pass ? kPassColor : kFailColor);
    verdict_->setPalette(palette);

    table_->setRowCount(static_cast<int>(verdict.checks.size()));
    int row = 0;
    for (const station::TCheck& c : verdict.checks) {
        const QString value = c.value
                                  ? Number(*c.value)
                                  : U(text::StationNotComputed) + QString::fromStdString(c.reason);
        const QString margin =
            c.marginPct ? QString::number(*c.marginPct, 'f', 1) + QStringLiteral(" %") : QString();
        table_->setItem(row, 0, Cell(QStringLiteral("CH%1").arg(c.channel)));
        table_->setItem(row, 1, Cell(FigureCell(c.limit)));
        table_->setItem(row, 2, Cell(value, Qt::AlignRight));
        table_->setItem(row, 3, Cell(LimitCell(c.limit), Qt::AlignRight));
        QTableWidgetItem* judged =
            Cell(U(c.pass ? text::StationPass : text::StationFail), Qt::AlignCenter);
        judged->setForeground(c.pass ? kPassColor : kFailColor);
        table_->setItem(row, 4, judged);
        table_->setItem(row, 5, Cell(margin, Qt::AlignRight));
        ++row;
    }
    table_->resizeColumnsToContents();
    table_->setCurrentCell(-1, -1);
    data_->setText(dataPath.isEmpty() ? QString() : U(text::StationDataKept) + dataPath);
    data_->setVisible(!dataPath.isEmpty());
    storage_->clear();
}

void TStationResultWindow::SetStoring(const QString& where)
{
    storing_ = true;
    storage_->setText(U(text::StationStoring) + QStringLiteral(" ") + where);
}

void TStationResultWindow::SetStored(const results::TStoreOutcome& outcome, const QString& where)
{
    storing_ = false;
    const QString message = QString::fromStdString(outcome.message);
    switch (outcome.kind) {
    case results::TStoreOutcome::Kind::Stored:
        storage_->setText(U(text::StationStored) + where);
        break;
    case results::TStoreOutcome::Kind::Spooled:
        storage_->setText(U(text::StationSpooled) + where + QStringLiteral("\n") + message);
        break;
    case results::TStoreOutcome::Kind::Failed:
        storage_->setText(U(text::StationStoreFailed) + where + QStringLiteral("\n") + message);
        break;
    }
    QPalette palette = storage_->palette();
    palette.setColor(QPalette::WindowText, outcome.kind == results::TStoreOutcome::Kind::Failed
                                               ? kFailColor
                                               : palette.color(QPalette::Text));
    storage_->setPalette(palette);
}

} // namespace mirantos
