#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QAbstractListModel>
#include <QPixmap>

#include "pluginloader.h"

namespace gui {

/// The plug-in libraries the window found: each loaded one with its icon, name, description
/// and tool tip, and each one that failed with the reason (shown disabled).
class PluginListModel : public QAbstractListModel {
    Q_OBJECT

public:
    /// Holds the error text of a library that did not load.
    static constexpr int kErrorRole = Qt::UserRole + 1;

    explicit PluginListModel(QObject* parent = nullptr);
    ~PluginListModel() override;

    /// Loads each library in `paths` (replacing what the model held).
    void load(const std::vector<std::string>& paths);
    /// Replaces the object of `row` with a fresh one from the same library (the library
    /// stays mapped, so widgets of the old object stay valid); false with `error`.
    bool reload(int row, std::string& error);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// The plug-in object of `row`; null for a library that did not load or a bad row.
    plugin* object(int row) const;
    /// What the plug-in of `row` says about itself; null when it did not load.
    const vqrt::PluginIdentity* identity(int row) const;
    /// The library path of `row`.
    std::string path(int row) const;
    /// Why the library of `row` did not load; empty when it did.
    std::string error(int row) const;
    /// Number of libraries that loaded.
    int loadedCount() const;

private:
    struct Entry {
        std::string path;
        std::unique_ptr<vqrt::LoadedPlugin> loaded;
        vqrt::PluginIdentity identity;
        QPixmap icon;
        std::string error;
    };

    const Entry* entry(int row) const;

    std::vector<Entry> entries_;
};

/// The plug-in's icon as a pixmap; null when it gives none.
QPixmap pluginIcon(plugin* object);

} // namespace gui
