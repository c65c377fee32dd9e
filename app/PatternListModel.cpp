// The browser's table of patterns.
#include "app/PatternListModel.h"

#include "common/Text.h"

namespace norrvik {

namespace {

QString Shown(const std::string& bytes)
{
    return QString::fromStdString(Windows1252ToUtf8(bytes));
}

} // namespace

TPatternListModel::TPatternListModel(TPatternList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

void TPatternListModel::BeginChange()
{
    beginResetModel();
}

void TPatternListModel::EndChange()
{
    endResetModel();
}

int TPatternListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(list_.RowCount());
}

int TPatternListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TPatternListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (index.column() == ColumnFigure) {
        const double figure = list_.FigureAt(row);
        return figure < 0 ? QVariant() : QVariant(QString::number(figure, 'f', 1));
    }
    const TPatternSummary summary = list_.SummaryAt(row);
    switch (index.column()) {
    case ColumnCode:
        return Shown(summary.Code);
    case ColumnNames: {
        QStringList names;
        for (const std::string& name : summary.Names)
            names << Shown(name);
        return names.join(QStringLiteral("; "));
    }
    case ColumnFormula:
        return Shown(summary.Formula);
    default:
        return {};
    }
}

QVariant TPatternListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ColumnCode:
        return QStringLiteral("Code");
    case ColumnNames:
        return QStringLiteral("Names");
    case ColumnFormula:
        return QStringLiteral("Formula");
    case ColumnFigure:
        return QStringLiteral("Match");
    default:
        return {};
    }
}

void TPatternListModel::sort(int column, Qt::SortOrder order)
{
    if (column < ColumnCode || column > ColumnFormula)
        return;
    emit layoutAboutToBeChanged();
    list_.SortBy(column == ColumnCode ? PatternColumn::Code : column == ColumnNames ? PatternColumn::Names
                                                                                   : PatternColumn::Formula,
                 order == Qt::DescendingOrder);
    emit layoutChanged();
}

} // namespace norrvik
