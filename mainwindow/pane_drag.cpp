// Rows dragged out of a pane and what a drop on a pane holds.
#include "mainwindow/pane_model.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QMimeData>
#include <QUrl>

#include <set>

const QString PaneModel::RowsMimeType = QStringLiteral("application/x-tallowin-pane-rows");

namespace {

constexpr quint32 RowsFormatVersion = 1;

}  // namespace

QStringList PaneModel::mimeTypes() const
{
    QStringList types{RowsMimeType};
    if (side == PaneSide::Local)
        types << QStringLiteral("text/uri-list");
    return types;
}

QMimeData* PaneModel::mimeData(const QModelIndexList& indexes) const
{
    // One entry per row (a row's cells all come), in the order the pane shows them.
    std::set<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.row() < RowCount() && RowAt(index.row()).kind != PaneRowKind::Parent)
            rows.insert(index.row());
    }
    if (rows.empty())
        return nullptr;

    // The process is named so that rows of another Tallowin window, whose names mean another
    // folder or server, are not taken for this window's.
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << RowsFormatVersion << qint64(QCoreApplication::applicationPid()) << qint32(side) << quint32(rows.size());
    QList<QUrl> urls;
    for (int row : rows) {
        const PaneRow& pane = RowAt(row);
        out << pane.entry.name << qint32(pane.kind);
        if (side == PaneSide::Local && !folder.isEmpty())
            urls.append(QUrl::fromLocalFile(QDir(folder).filePath(pane.entry.name)));
    }
    auto* data = new QMimeData;
    data->setData(RowsMimeType, payload);
    if (!urls.isEmpty())
        data->setUrls(urls);
    return data;
}

std::optional<PaneDrop> PaneModel::ReadDrop(const QMimeData& data)
{
    if (data.hasFormat(RowsMimeType)) {
        QDataStream in(data.data(RowsMimeType));
        quint32 version = 0;
        qint64 pid = 0;
        qint32 side = 0;
        quint32 count = 0;
        in >> version >> pid >> side >> count;
        const bool ours = in.status() == QDataStream::Ok && version == RowsFormatVersion &&
                          pid == QCoreApplication::applicationPid() && (side == 0 || side == 1);
        if (ours) {
            PaneDrop drop;
            drop.fromPane = static_cast<PaneSide>(side);
            // The count is not trusted for a reservation: the rows end where the data ends.
            for (quint32 i = 0; i < count; ++i) {
                PaneRow row;
                qint32 kind = 0;
                in >> row.entry.name >> kind;
                if (in.status() != QDataStream::Ok || kind < 0 || kind > 2)
                    return std::nullopt;
                row.kind = static_cast<PaneRowKind>(kind);
                row.entry.kind = row.kind == PaneRowKind::Folder ? EntryKind::Folder : EntryKind::File;
                drop.rows.push_back(std::move(row));
            }
            return drop;
        }
    }
    if (!data.hasUrls())
        return std::nullopt;
    PaneDrop drop;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            drop.localPaths.append(url.toLocalFile());
    }
    if (drop.localPaths.isEmpty())
        return std::nullopt;
    return drop;
}
