#include "pluginlist.h"

#include <QFileInfo>

#include "bitmap/vantrybitmap.h"

namespace gui {

QPixmap pluginIcon(plugin* object) {
    CVantryBitmap bitmap;
    if (object == nullptr || !object->getIcon(bitmap) || bitmap.GetBitmap() == nullptr) {
        return QPixmap();
    }
    return QPixmap(bitmap.GetBitmap());
}

PluginListModel::PluginListModel(QObject* parent) : QAbstractListModel(parent) {}

PluginListModel::~PluginListModel() = default;

void PluginListModel::load(const std::vector<std::string>& paths) {
    beginResetModel();
    entries_.clear();
    for (const std::string& path : paths) {
        Entry entry;
        entry.path = path;
        entry.loaded = vqrt::LoadedPlugin::load(path, entry.error);
        if (entry.loaded != nullptr) {
            entry.identity = entry.loaded->identity();
            entry.icon = pluginIcon(entry.loaded->object());
        }
        entries_.push_back(std::move(entry));
    }
    endResetModel();
}

bool PluginListModel::reload(int row, std::string& error) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) {
        error = "no plug-in in row " + std::to_string(row);
        return false;
    }
    Entry& entry = entries_[static_cast<size_t>(row)];
    auto fresh = vqrt::LoadedPlugin::load(entry.path, error);
    if (fresh == nullptr) {
        return false;
    }
    entry.loaded = std::move(fresh);
    entry.error.clear();
    return true;
}

const PluginListModel::Entry* PluginListModel::entry(int row) const {
    return row >= 0 && row < static_cast<int>(entries_.size()) ? &entries_[static_cast<size_t>(row)]
                                                               : nullptr;
}

int PluginListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant PluginListModel::data(const QModelIndex& index, int role) const {
    const Entry* e = entry(index.row());
    if (e == nullptr) {
        return {};
    }
    const bool loaded = e->loaded != nullptr;
    switch (role) {
    case Qt::DisplayRole:
        if (!loaded) {
            return QFileInfo(QString::fromStdString(e->path)).fileName() +
                   QStringLiteral("\ncannot be loaded");
        }
        return QString::fromStdString(e->identity.name) + QLatin1Char('\n') +
               QString::fromStdString(e->identity.description);
    case Qt::DecorationRole:
        return loaded && !e->icon.isNull() ? QVariant(e->icon) : QVariant();
    case Qt::ToolTipRole:
        return QString::fromStdString(loaded ? e->identity.toolTip : e->error);
    case kErrorRole:
        return QString::fromStdString(e->error);
    default:
        return {};
    }
}

Qt::ItemFlags PluginListModel::flags(const QModelIndex& index) const {
    const Entry* e = entry(index.row());
    if (e == nullptr || e->loaded == nullptr) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

plugin* PluginListModel::object(int row) const {
    const Entry* e = entry(row);
    return e != nullptr && e->loaded != nullptr ? e->loaded->object() : nullptr;
}

const vqrt::PluginIdentity* PluginListModel::identity(int row) const {
    const Entry* e = entry(row);
    return e != nullptr && e->loaded != nullptr ? &e->identity : nullptr;
}

std::string PluginListModel::path(int row) const {
    const Entry* e = entry(row);
    return e != nullptr ? e->path : std::string();
}

std::string PluginListModel::error(int row) const {
    const Entry* e = entry(row);
    return e != nullptr ? e->error : std::string();
}

int PluginListModel::loadedCount() const {
    int count = 0;
    for (const Entry& e : entries_) {
        count += e.loaded != nullptr ? 1 : 0;
    }
    return count;
}

} // namespace gui
