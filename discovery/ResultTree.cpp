#include "discovery/ResultTree.h"

#include <QFont>
#include <QIcon>
#include <QStandardItemModel>

namespace ResultTree {

namespace {

QStandardItem* makeRow(const QString& iconPath, const QString& text, QFont::Weight weight)
{
    QFont font(QStringLiteral("MS Shell Dlg 2"), 8);
    font.setWeight(weight);
    auto* item = new QStandardItem(QIcon(iconPath), text);
    item->setFont(font);
    item->setEditable(false);
    return item;
}

} // namespace

QList<QStandardItem*> fill(QStandardItemModel& model, const QVector<SearchResults::InterfaceResult>& results)
{
    QList<QStandardItem*> interfaceRows;
    for (int index = 0; index < results.size(); ++index) {
        const SearchResults::InterfaceResult& result = results.at(index);
        QStandardItem* interfaceRow =
            makeRow(SearchResults::interfaceIconPath(), SearchResults::interfaceRowText(result), QFont::Bold);
        interfaceRows << interfaceRow;
        for (const SearchResults::Responder& responder : result.responders)
            interfaceRow->appendRow(makeRow(SearchResults::controllerIconPath(responder),
                                            SearchResults::controllerRowText(responder), QFont::Light));
        model.setItem(index, 0, interfaceRow);
    }
    // QStandardItem compares display texts with QString::compare, case-sensitive
    // and not locale-aware, and the model's sort reaches every level.
    model.sort(0, Qt::AscendingOrder);
    return interfaceRows;
}

} // namespace ResultTree
