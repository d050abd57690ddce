#pragma once
// The per-user store of the window placement: a registry-export text file
// ("[HKEY_CURRENT_USER\Software\dornik\KOVELA\Form1]", "Name"=dword:0000000a,
// "Name"="text") under the user's configuration directory, read and written
// through QSettings, which gives the location, the file lock and atomic saves.
// UI thread only.

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace tivaro {

inline constexpr const char* kRegistryRoot = R"(HKEY_CURRENT_USER\Software\dornik\KOVELA)";

// Parses an export whose keys lie under kRegistryRoot into QSettings keys
// ("Form1/NormPos"); dword values become int, texts QString. A damaged or
// foreign text gives an empty map (never an error).
QSettings::SettingsMap ParseRegistryExport(const QByteArray& text);
// The inverse: one section per key, values in map order.
QByteArray WriteRegistryExport(const QSettings::SettingsMap& values);

// Joins store paths: names separated by "\", empty names and repeated
// separators dropped; a part that starts with "\" discards what came before.
QString JoinStoragePath(const QString& base, const QString& path);

// What the placement store needs of a key/value store (paths relative to the
// root, "\" separated, the last name being the value name).
class PlacementValueStore {
public:
    virtual ~PlacementValueStore() = default;
    virtual int ReadInteger(const QString& path, int defaultValue) = 0;
    virtual void WriteInteger(const QString& path, int value) = 0;
    virtual QString ReadString(const QString& path, const QString& defaultValue) = 0;
    virtual void WriteString(const QString& path, const QString& value) = 0;
    virtual bool ValueStored(const QString& path) = 0;
    // Bracket a group of writes: a store that saves may save the group once,
    // at the outermost EndUpdate, and report a failed save there.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

// JvAppRegistryStorage1: the registry-export file as a value store. A write is
// saved to disk at once, or, inside BeginUpdate/EndUpdate, the group once at
// the end; a failed save throws
// "Unable to open key "HKEY_CURRENT_USER\…\Form1" for write". The first save
// removes temporary files that an interrupted save of an earlier run left
// beside the file.
class RegistryFileStorage final : public PlacementValueStore {
public:
    // fileName empty: <XDG config dir>/dornik/KOVELA.reg.
    explicit RegistryFileStorage(QString fileName = QString());
    ~RegistryFileStorage() override;

    int ReadInteger(const QString& path, int defaultValue) override;
    void WriteInteger(const QString& path, int value) override;
    QString ReadString(const QString& path, const QString& defaultValue) override;
    void WriteString(const QString& path, const QString& value) override;
    bool ValueStored(const QString& path) override;
    void BeginUpdate() override { ++m_updateDepth; }
    void EndUpdate() override;

    QString FileName() const;

private:
    QSettings& settings();
    void write(const QString& path, const QVariant& value);
    void save();
    void removeStaleTemporaries();

    QString m_fileName;
    std::unique_ptr<QSettings> m_settings;
    int m_updateDepth = 0;
    QString m_unsavedKey;  // the last key written and not yet saved
    bool m_cleaned = false;
};

// The QSettings format id of the registry-export file (registered once).
QSettings::Format RegistryFileFormat();

}  // namespace tivaro
