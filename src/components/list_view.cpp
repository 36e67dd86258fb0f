#include "list_view.h"

#include <QHeaderView>
#include <QListView>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <numeric>

namespace kordel {

namespace {

class ItemModel : public QStandardItemModel {
public:
    ItemModel(const std::function<QMimeData*(int)>& dragData, QObject* parent)
        : QStandardItemModel(parent), dragData_(dragData) {}

    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        if (dragData_ && !indexes.isEmpty())
            return dragData_(indexes.first().row());
        return QStandardItemModel::mimeData(indexes);
    }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    const std::function<QMimeData*(int)>& dragData_;
};

}  // namespace

TListView::TListView(QWidget* parent)
    : QWidget(parent),
      model_(new ItemModel(dragData, this)),
      report_(new QTreeView),
      icons_(new QListView),
      stack_(new QStackedLayout(this)) {
    stack_->setContentsMargins(0, 0, 0, 0);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        v->setModel(model_);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setFrameShape(QFrame::NoFrame);
        v->setFocusPolicy(Qt::StrongFocus);
        connect(v, &QAbstractItemView::clicked, this, [this] { emit itemClicked(); });
        connect(v, &QAbstractItemView::doubleClicked, this, [this] { emit itemDoubleClicked(); });
    }
    icons_->setSelectionModel(report_->selectionModel());
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);
    report_->header()->setStretchLastSection(false);
    report_->header()->setSectionsMovable(false);
    // Column clicks sort the list; a header that is not clickable never reports them.
    report_->header()->setSectionsClickable(true);
    report_->setIconSize(QSize(16, 16));
    stack_->addWidget(report_);
    stack_->addWidget(icons_);
    setAutomaticDrag(true);
}

void TListView::setColumns(const QStringList& titles) {
    model_->setColumnCount(int(titles.size()));
    model_->setHorizontalHeaderLabels(titles);
}

void TListView::setColumnAlignment(int column, Qt::Alignment alignment) {
    model_->setHeaderData(column, Qt::Horizontal, int(alignment | Qt::AlignVCenter),
                          Qt::TextAlignmentRole);
}

int TListView::columnWidth(int column) const {
    return report_->columnWidth(column);
}

void TListView::setColumnWidth(int column, int width) {
    report_->setColumnWidth(column, width);
}

void TListView::setViewStyle(Style style) {
    style_ = style;
    if (style == vsReport) {
        stack_->setCurrentWidget(report_);
        return;
    }
    icons_->setViewMode(style == vsIcon ? QListView::IconMode : QListView::ListMode);
    icons_->setFlow(style == vsIcon || style == vsSmallIcon ? QListView::LeftToRight
                                                            : QListView::TopToBottom);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setIconSize(style == vsIcon ? QSize(32, 32) : QSize(16, 16));
    icons_->setMovement(QListView::Static);
    stack_->setCurrentWidget(icons_);
}

int TListView::count() const {
    return model_->rowCount();
}

void TListView::clear() {
    model_->removeRows(0, model_->rowCount());
}

void TListView::addItem(const QString& caption, const QIcon& icon, const QStringList& subItems) {
    QList<QStandardItem*> row;
    auto* first = new QStandardItem(icon, caption);
    row.append(first);
    for (int i = 0; i < subItems.size(); ++i) {
        auto* item = new QStandardItem(subItems[i]);
        const QVariant align = model_->headerData(i + 1, Qt::Horizontal, Qt::TextAlignmentRole);
        if (align.isValid())
            item->setTextAlignment(Qt::Alignment(align.toInt()));
        row.append(item);
    }
    for (QStandardItem* item : row)
        item->setEditable(false);
    model_->appendRow(row);
}

void TListView::removeItem(int row) {
    model_->removeRow(row);
}

QString TListView::caption(int row) const {
    return model_->item(row, 0) ? model_->item(row, 0)->text() : QString();
}

QString TListView::subItem(int row, int index) const {
    const QStandardItem* item = model_->item(row, index + 1);
    return item ? item->text() : QString();
}

int TListView::findCaption(const QString& caption) const {
    for (int r = 0; r < model_->rowCount(); ++r)
        if (model_->item(r, 0)->text() == caption)
            return r;
    return -1;
}

int TListView::selectedRow() const {
    const QModelIndexList rows = report_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListView::selectRow(int row, bool focus) {
    const QModelIndex index = model_->index(row, 0);
    report_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view()->scrollTo(index);
    if (focus && isVisible())
        view()->setFocus();
}

void TListView::clearSelection() {
    report_->selectionModel()->clearSelection();
}

void TListView::sortItems(const std::function<bool(int, int)>& goesAfter) {
    const int n = model_->rowCount();
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&goesAfter](int a, int b) { return goesAfter(b, a); });
    QList<QList<QStandardItem*>> rows;
    for (int r = 0; r < n; ++r)
        rows.append(model_->takeRow(0));
    for (int r : order)
        model_->appendRow(rows[r]);
}

void TListView::setAutomaticDrag(bool on) {
    automaticDrag_ = on;
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        v->setDragEnabled(on);
        v->setDragDropMode(on ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
    }
}

QAbstractItemView* TListView::view() const {
    return style_ == vsReport ? static_cast<QAbstractItemView*>(report_)
                              : static_cast<QAbstractItemView*>(icons_);
}

}  // namespace kordel
