#include "shell/form_storage.h"

#include <QRegularExpression>
#include <QStringList>

#include "core/command_boundary.h"

namespace tivaro {

namespace {

QStringList words(const QString& text) {
    static const QRegularExpression sep(QStringLiteral("[ ,]+"));
    return text.split(sep, Qt::SkipEmptyParts);
}

int wordInt(const QStringList& w, int index, int fallback) {
    if (index >= w.size()) return fallback;
    bool ok = false;
    const int n = w[index].toInt(&ok);
    return ok ? n : fallback;
}

bool onAnyScreen(const QList<QRect>& screens, qint64 x, qint64 y) {
    for (const QRect& r : screens)
        if (x >= r.left() && x <= r.right() && y >= r.top() && y <= r.bottom()) return true;
    return false;
}

QString fourNumbers(int a, int b, int c, int d) {
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

}  // namespace

FormStorage::FormStorage(PlacementWindow& window, PlacementValueStore* store)
    : m_window(window), m_store(store) {}

void FormStorage::SetAppStoragePath(const QString& p) {
    m_appStoragePath = p;
    if (!m_appStoragePath.endsWith(QLatin1Char('\\'))) m_appStoragePath += QLatin1Char('\\');
}

QString FormStorage::DesktopSuffix(QSize desktop) {
    return QStringLiteral("(%1x%2)").arg(desktop.width()).arg(desktop.height());
}

void FormStorage::expandPath() {
    static const QLatin1String marker("%FORM_NAME%");
    const qsizetype at = m_appStoragePath.indexOf(marker, 0, Qt::CaseInsensitive);
    if (at >= 0) SetAppStoragePath(QString(m_appStoragePath).replace(at, marker.size(), m_window.Name()));
}

QString FormStorage::path(const QString& name) const { return JoinStoragePath(m_appStoragePath, name); }

QString FormStorage::readSuffixed(const QString& name) {
    const QString suffixed = path(name + DesktopSuffix(m_window.DesktopSize()));
    if (m_store->ValueStored(suffixed)) return m_store->ReadString(suffixed, QString());
    return m_store->ReadString(path(name), QString());
}

void FormStorage::RestoreFormPlacement() {
    expandPath();
    m_saved = false;
    const int version = m_store->ReadInteger(path(QStringLiteral("FormVersion")), 0);
    if (version >= m_version) {
        WindowPlacement p = m_window.Placement();
        const int currentShow = p.showCmd;
        if (!m_window.IsVisible()) p.showCmd = static_cast<int>(ShowCmd::Hidden);

        p.flags = m_store->ReadInteger(path(QStringLiteral("Flags")), p.flags);
        bool found = false;
        const QString minMax = readSuffixed(QStringLiteral("MinMaxPos"));
        if (!minMax.isEmpty()) {
            found = true;
            const QStringList w = words(minMax);
            p.minPosition = QPoint(wordInt(w, 0, 0), wordInt(w, 1, 0));
        }
        // A stored corner may be any 32-bit number: the far corner is computed
        // in 64 bits, and only a rectangle found on a screen is applied.
        qint64 left = p.left, top = p.top, right = p.right, bottom = p.bottom;
        const QString norm = readSuffixed(QStringLiteral("NormPos"));
        if (!norm.isEmpty()) {
            found = true;
            const QStringList w = words(norm);
            left = wordInt(w, 0, p.left);
            top = wordInt(w, 1, p.top);
            right = left + m_window.Size().width();
            bottom = top + m_window.Size().height();
        }
        const int ppi = m_window.PixelsPerInch();
        if (found) found = m_store->ReadInteger(path(QStringLiteral("PixelsPerInch")), ppi) == ppi;
        const QList<QRect> screens = m_window.Screens();
        if (found && left < right && onAnyScreen(screens, left, top) &&
            onAnyScreen(screens, right - 1, bottom - 1)) {
            m_window.SetPositionAsPlaced();
            p.left = static_cast<int>(left);
            p.top = static_cast<int>(top);
            p.right = static_cast<int>(right);
            p.bottom = static_cast<int>(bottom);
            m_window.ApplyPlacement(p);
        }

        WindowState state = WindowState::Normal;
        switch (m_store->ReadInteger(path(QStringLiteral("ShowCmd")), currentShow)) {
            case 1:
            case 5:
            case 9:
                state = WindowState::Normal;
                break;
            case 2:
            case 6:
            case 7:
                state = WindowState::Minimized;
                break;
            case 3:
                state = WindowState::Maximized;
                break;
            default:
                break;
        }
        if (state == WindowState::Minimized && m_window.IsMainWindow()) {
            m_window.SetState(WindowState::Normal);
            m_window.PostApplicationMinimize();
        } else {
            m_window.SetState(state);
        }
    }
    m_restored = true;
    WindowPlacement p = m_window.Placement();
    const QSize frame = m_window.DialogFrame();
    p.maxPosition = QPoint(-frame.width(), -frame.height());
    if (!m_window.IsVisible()) p.showCmd = static_cast<int>(ShowCmd::Hidden);
    m_window.ApplyPlacement(p);
}

void FormStorage::SaveFormPlacement() {
    expandPath();
    // The whole placement is saved at once: one write of the file per store.
    m_store->BeginUpdate();
    try {
        writePlacement();
    } catch (...) {
        m_store->EndUpdate();
        throw;
    }
    m_store->EndUpdate();
    m_saved = true;
}

void FormStorage::writePlacement() {
    m_store->WriteInteger(path(QStringLiteral("FormVersion")), m_version);
    if (m_restored) {
        WindowPlacement p = m_window.Placement();
        if (m_window.IsMainWindow() && m_window.ApplicationMinimized())
            p.showCmd = static_cast<int>(ShowCmd::Minimized);
        const QString suffix = DesktopSuffix(m_window.DesktopSize());
        m_store->WriteInteger(path(QStringLiteral("ShowCmd")), p.showCmd);
        m_store->WriteInteger(path(QStringLiteral("Flags")), p.flags);
        m_store->WriteInteger(path(QStringLiteral("PixelsPerInch")), m_window.PixelsPerInch());
        const QString minMax =
            fourNumbers(p.minPosition.x(), p.minPosition.y(), p.maxPosition.x(), p.maxPosition.y());
        m_store->WriteString(path(QStringLiteral("MinMaxPos") + suffix), minMax);
        m_store->WriteString(path(QStringLiteral("MinMaxPos")), minMax);
        const QString normPos = fourNumbers(p.left, p.top, p.right, p.bottom);
        m_store->WriteString(path(QStringLiteral("NormPos") + suffix), normPos);
        m_store->WriteString(path(QStringLiteral("NormPos")), normPos);
    }
}

void FormStorage::FormShowStep() {
    if (Active() && !m_restored) RunCommand([this] { RestoreFormPlacement(); });
}

void FormStorage::CloseQueryStep() {
    if (Active()) RunCommand([this] { SaveFormPlacement(); });
}

void FormStorage::DestroyStep() {
    if (Active() && !m_saved) RunCommand([this] { SaveFormPlacement(); });
}

}  // namespace tivaro
