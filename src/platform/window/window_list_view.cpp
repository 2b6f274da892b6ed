// The report list view: columns, cells with their own background colours,
// the selection, and the private drag of its rows.
#include <QBrush>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QPalette>
#include <QTableWidget>

#include "platform/window/window_state.h"

namespace platform {
namespace {

QTableWidgetItem* Cell(int id, int row, int column) {
    QTableWidget* view = FindListView(id);
    return view != nullptr ? view->item(row, column) : nullptr;
}

QTableWidgetItem* NewCell() {
    auto* cell = new QTableWidgetItem();
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return cell;
}

void KeepSelectionVisibleUnfocused(QTableWidget* view) {
    QPalette palette = view->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    view->setPalette(palette);
}

}  // namespace

const char* const PrivateDragMimeType = "application/x-kelvarian-private-6";

bool CreateListView(int id, int parent, Rect rect) {
    QWidget* owner = ParentWidget(parent);
    if (owner == nullptr || Layer().controls.count(id) != 0) return false;
    auto* view = new QTableWidget(owner);
    view->setObjectName(QStringLiteral("control%1").arg(id));
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(true);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setDragEnabled(false);  // the private drag is started by the caller
    view->viewport()->setAcceptDrops(true);
    KeepSelectionVisibleUnfocused(view);
    QObject::connect(view, &QWidget::customContextMenuRequested, view,
                     [id](const QPoint&) { ReportControlEvent(id, EventType::RightClick); });
    WatchListViewport(view->viewport());
    view->viewport()->setProperty("kelvarianControl", id);
    view->setGeometry(rect.x, rect.y, rect.width, rect.height);
    view->show();
    Layer().controls[id] = Control{ControlKind::ListView, view};
    return true;
}

void AddListColumn(int id, std::string_view title, int width) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return;
    const int column = view->columnCount();
    view->setColumnCount(column + 1);
    view->setHorizontalHeaderItem(column, new QTableWidgetItem(ToQString(title)));
    view->setColumnWidth(column, width);
    for (int row = 0; row < view->rowCount(); ++row) view->setItem(row, column, NewCell());
}

int ListRowCount(int id) {
    QTableWidget* view = FindListView(id);
    return view != nullptr ? view->rowCount() : 0;
}

void ResetListRows(int id, int rows) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return;
    view->clearContents();
    view->setRowCount(0);
    view->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < view->columnCount(); ++column) {
            view->setItem(row, column, NewCell());
        }
    }
}

std::string ListCellText(int id, int row, int column) {
    QTableWidgetItem* cell = Cell(id, row, column);
    return cell != nullptr ? ToStdString(cell->text()) : std::string();
}

void SetListCellText(int id, int row, int column, std::string_view text) {
    if (QTableWidgetItem* cell = Cell(id, row, column)) cell->setText(ToQString(text));
}

void SetListCellColor(int id, int row, int column, std::int32_t color) {
    QTableWidgetItem* cell = Cell(id, row, column);
    if (cell == nullptr) return;
    if (color == -1) {
        cell->setData(Qt::BackgroundRole, QVariant());  // the view's own colours
        return;
    }
    const auto value = static_cast<std::uint32_t>(color);
    cell->setBackground(
        QBrush(QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                      static_cast<int>((value >> 16) & 0xFF))));
}

int SelectedListRow(int id) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return -1;
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool StartPrivateDrag(int id) {
    QTableWidget* view = FindListView(id);
    if (view == nullptr) return false;
    auto* data = new QMimeData();
    data->setData(PrivateDragMimeType, QByteArray());
    auto* drag = new QDrag(view);
    drag->setMimeData(data);
    Layer().dragRunning = true;
    const Qt::DropAction result = drag->exec(Qt::MoveAction, Qt::MoveAction);
    Layer().dragRunning = false;
    return result == Qt::MoveAction;
}

}  // namespace platform
