#pragma once

#include <QTreeWidget>
#include <nlohmann/json.hpp>

namespace gui {

/// The import record as a tree: one item per section (nested sections below their parent),
/// each value as name and value, each carried file with its original path and the copy in
/// the bundle. Passwords are not shown; long sections start closed; an ICQ contact's
/// placeholder shows greyed as "(empty)".
class RecordTree : public QTreeWidget {
    Q_OBJECT

public:
    /// The column of entry names, values and carried copies.
    enum Column { kName = 0, kValue = 1, kCarried = 2 };
    /// Sections with more entries than this start closed.
    static constexpr int kOpenSectionLimit = 12;
    /// What a password value shows instead of its text.
    static const QString kHiddenValue;

    explicit RecordTree(QWidget* parent = nullptr);

    /// What a placeholder value shows instead of its text.
    static const QString kEmptyValue;

    /// Replaces the tree with the sections of `record` (the bundle's record.json); with
    /// `icq`, the contact fields' placeholders show as empty.
    void showRecord(const nlohmann::ordered_json& record, bool icq = false);

    /// True for keys whose values are not shown ("Password" and the like).
    static bool isSecretKey(const QString& key);

private:
    bool icq_ = false;

    void addEntries(QTreeWidgetItem* parent, const nlohmann::ordered_json& entries);
    QTreeWidgetItem* addSection(QTreeWidgetItem* parent, const nlohmann::ordered_json& section);
};

} // namespace gui
