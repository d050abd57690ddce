#include "shell/registry_file.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QRegularExpression>
#include <QStringList>
#include <stdexcept>
#include <utility>

namespace tivaro {

namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

QString escapeText(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// Reads a quoted string starting at pos (at the opening quote); returns false
// on a missing closing quote. pos ends after the closing quote.
bool readQuoted(const QString& line, int& pos, QString& out) {
    if (pos >= line.size() || line[pos] != QLatin1Char('"')) return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const QChar c = line[pos++];
        if (c == QLatin1Char('\\')) {
            if (pos >= line.size()) return false;
            out += line[pos++];
        } else if (c == QLatin1Char('"')) {
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

bool parseInto(const QByteArray& bytes, QSettings::SettingsMap& map) {
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    const QString root = QString::fromLatin1(kRegistryRoot);
    bool headerSeen = false;
    bool inSection = false;
    QString group;
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
        if (!headerSeen) {
            if (line != kHeader && line != QLatin1String("REGEDIT4")) return false;
            headerSeen = true;
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) return false;
            const QString key = line.mid(1, line.size() - 2);
            if (key.compare(root, Qt::CaseInsensitive) == 0) {
                group.clear();
            } else if (key.startsWith(root + QLatin1Char('\\'), Qt::CaseInsensitive)) {
                group = key.mid(root.size() + 1)
                            .split(QLatin1Char('\\'), Qt::SkipEmptyParts)
                            .join(QLatin1Char('/'));
            } else {
                return false;  // a foreign key: the file is not ours
            }
            inSection = true;
            continue;
        }
        if (!inSection) return false;
        int pos = 0;
        QString name;
        if (!readQuoted(line, pos, name) || name.isEmpty() || name.contains(QLatin1Char('/'))) return false;
        if (pos >= line.size() || line[pos] != QLatin1Char('=')) return false;
        ++pos;
        const QString rest = line.mid(pos);
        const QString key = group.isEmpty() ? name : group + QLatin1Char('/') + name;
        if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            const QString hex = rest.mid(6);
            bool ok = false;
            const uint v = hex.toUInt(&ok, 16);
            if (!ok || hex.size() != 8) return false;
            map.insert(key, static_cast<int>(v));
        } else {
            QString value;
            if (!readQuoted(line, pos, value) || pos != line.size()) return false;
            map.insert(key, value);
        }
    }
    return headerSeen || text.trimmed().isEmpty();
}

bool readFunc(QIODevice& device, QSettings::SettingsMap& map) {
    map = ParseRegistryExport(device.readAll());
    return true;  // damaged or foreign files read as empty and are replaced by the next save
}

bool writeFunc(QIODevice& device, const QSettings::SettingsMap& map) {
    const QByteArray bytes = WriteRegistryExport(map);
    return device.write(bytes) == bytes.size();
}

}  // namespace

QSettings::SettingsMap ParseRegistryExport(const QByteArray& text) {
    QSettings::SettingsMap map;
    if (!parseInto(text, map)) map.clear();
    return map;
}

QByteArray WriteRegistryExport(const QSettings::SettingsMap& values) {
    QString out = kHeader + QLatin1String("\n");
    QString currentGroup;
    bool first = true;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QString() : it.key().left(slash);
        const QString name = it.key().mid(slash + 1);
        if (first || group != currentGroup) {
            QString section = QString::fromLatin1(kRegistryRoot);
            if (!group.isEmpty())
                section += QLatin1Char('\\') + QString(group).replace(QLatin1Char('/'), QLatin1Char('\\'));
            out += QLatin1String("\n[") + section + QLatin1String("]\n");
            currentGroup = group;
            first = false;
        }
        out += QLatin1Char('"') + escapeText(name) + QLatin1String("\"=");
        const QVariant& v = it.value();
        if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::UInt) {
            out += QStringLiteral("dword:%1").arg(static_cast<uint>(v.toInt()), 8, 16, QLatin1Char('0'));
        } else {
            out += QLatin1Char('"') + escapeText(v.toString()) + QLatin1Char('"');
        }
        out += QLatin1Char('\n');
    }
    return out.toUtf8();
}

QString JoinStoragePath(const QString& base, const QString& path) {
    QStringList names;
    for (const QString& part : {base, path}) {
        if (part.startsWith(QLatin1Char('\\'))) names.clear();
        for (const QString& name : part.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) names << name;
    }
    return names.join(QLatin1Char('\\'));
}

QSettings::Format RegistryFileFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("reg"), readFunc, writeFunc);
    return format;
}

RegistryFileStorage::RegistryFileStorage(QString fileName) : m_fileName(std::move(fileName)) {}

RegistryFileStorage::~RegistryFileStorage() = default;

QSettings& RegistryFileStorage::settings() {
    if (!m_settings) {
        if (m_fileName.isEmpty()) {
            m_settings = std::make_unique<QSettings>(RegistryFileFormat(), QSettings::UserScope,
                                                     QStringLiteral("dornik"), QStringLiteral("KOVELA"));
        } else {
            m_settings = std::make_unique<QSettings>(m_fileName, RegistryFileFormat());
        }
        m_settings->setFallbacksEnabled(false);
    }
    return *m_settings;
}

QString RegistryFileStorage::FileName() const {
    return const_cast<RegistryFileStorage*>(this)->settings().fileName();
}

namespace {
QString settingsKey(const QString& path) {
    return JoinStoragePath(QString(), path).replace(QLatin1Char('\\'), QLatin1Char('/'));
}
}  // namespace

int RegistryFileStorage::ReadInteger(const QString& path, int defaultValue) {
    const QVariant v = settings().value(settingsKey(path));
    if (!v.isValid()) return defaultValue;
    if (v.typeId() == QMetaType::Int) return v.toInt();
    bool ok = false;
    const int n = v.toString().trimmed().toInt(&ok);
    return ok ? n : defaultValue;
}

QString RegistryFileStorage::ReadString(const QString& path, const QString& defaultValue) {
    const QString key = settingsKey(path);
    if (key.isEmpty()) return defaultValue;
    const QVariant v = settings().value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : defaultValue;
}

bool RegistryFileStorage::ValueStored(const QString& path) {
    const QString key = settingsKey(path);
    return !key.isEmpty() && settings().contains(key);
}

void RegistryFileStorage::WriteInteger(const QString& path, int value) { write(path, QVariant(value)); }

void RegistryFileStorage::WriteString(const QString& path, const QString& value) {
    write(path, QVariant(value));
}

void RegistryFileStorage::write(const QString& path, const QVariant& value) {
    const QString key = settingsKey(path);
    if (key.isEmpty()) return;
    settings().setValue(key, value);
    m_unsavedKey = key;
    if (m_updateDepth == 0) save();
}

void RegistryFileStorage::EndUpdate() {
    if (m_updateDepth > 0 && --m_updateDepth == 0 && !m_unsavedKey.isEmpty()) save();
}

void RegistryFileStorage::save() {
    const QString key = std::exchange(m_unsavedKey, QString());
    QSettings& s = settings();
    if (!m_cleaned) removeStaleTemporaries();
    s.sync();
    if (s.status() != QSettings::NoError) {
        const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
        QString keyPath = QString::fromLatin1(kRegistryRoot);
        if (slash > 0)
            keyPath += QLatin1Char('\\') + key.left(slash).replace(QLatin1Char('/'), QLatin1Char('\\'));
        throw std::runtime_error(
            QStringLiteral("Unable to open key \"%1\" for write").arg(keyPath).toStdString());
    }
}

void RegistryFileStorage::removeStaleTemporaries() {
    // A save writes "KOVELA.reg.XXXXXX" and renames it over the file while it
    // holds "KOVELA.reg.lock"; a save killed on the way leaves its temporary
    // file for good. Holding the same lock, no other copy's save is under way,
    // so every such file is a leftover.
    const QFileInfo file(settings().fileName());
    QLockFile lock(file.filePath() + QLatin1String(".lock"));
    if (!lock.tryLock(1000)) return;
    m_cleaned = true;
    const QRegularExpression temporary(QLatin1Char('^') + QRegularExpression::escape(file.fileName()) +
                                       QLatin1String("\\.[A-Za-z0-9]{6}$"));
    QDir dir = file.dir();
    for (const QFileInfo& entry :
         dir.entryInfoList({file.fileName() + QLatin1String(".??????")}, QDir::Files))
        if (!entry.isSymLink() && temporary.match(entry.fileName()).hasMatch()) dir.remove(entry.fileName());
}

}  // namespace tivaro
