#pragma once
// JvFormStorage1: decides what of a window's placement is stored and when
// (position and show state, once at the close query or else at destroy) and
// restores it at the first show. Works on any window through PlacementWindow
// and on any value store through PlacementValueStore. UI thread only.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include "shell/registry_file.h"

namespace tivaro {

// Show states as the window system numbers them.
enum class ShowCmd : int { Hidden = 0, Normal = 1, Minimized = 2, Maximized = 3 };

// A window's placement: flags and min/max positions are the window system's
// and are kept unchanged; normal holds left, top, right, bottom.
struct WindowPlacement {
    int flags = 0;
    int showCmd = 1;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum class WindowState { Normal, Minimized, Maximized };

// What the placement store needs of a window and of the screens around it.
class PlacementWindow {
public:
    virtual ~PlacementWindow() = default;
    virtual QString Name() const = 0;
    virtual bool IsVisible() const = 0;
    virtual bool IsMainWindow() const = 0;
    virtual bool ApplicationMinimized() const = 0;
    virtual WindowPlacement Placement() const = 0;
    // Applies flags, positions and the normal rectangle; show state Hidden
    // leaves the visibility alone.
    virtual void ApplyPlacement(const WindowPlacement& placement) = 0;
    virtual QSize Size() const = 0;
    // The position rule becomes as-placed (the shell will not centre it).
    virtual void SetPositionAsPlaced() = 0;
    virtual void SetState(WindowState state) = 0;
    virtual void PostApplicationMinimize() = 0;
    virtual QSize DialogFrame() const = 0;
    virtual QSize DesktopSize() const = 0;
    virtual int PixelsPerInch() const = 0;
    virtual QList<QRect> Screens() const = 0;
};

class FormStorage {
public:
    FormStorage(PlacementWindow& window, PlacementValueStore* store);

    void SaveFormPlacement();
    void RestoreFormPlacement();

    // The hooked steps; errors go to the standard error box and the step goes on.
    void FormShowStep();    // restore once, before the window's own show handler
    void CloseQueryStep();  // after the close has been allowed
    void DestroyStep();

    bool Active() const { return m_active && m_store; }
    void SetActive(bool active) { m_active = active; }
    bool Restored() const { return m_restored; }
    bool Saved() const { return m_saved; }
    int Version() const { return m_version; }
    void SetVersion(int version) { m_version = version; }
    QString AppStoragePath() const { return m_appStoragePath; }
    void SetAppStoragePath(const QString& path);

    static QString DesktopSuffix(QSize desktop);

private:
    void expandPath();
    void writePlacement();
    QString path(const QString& name) const;
    QString readSuffixed(const QString& name);

    PlacementWindow& m_window;
    PlacementValueStore* m_store;
    bool m_active = true;
    int m_version = 0;
    QString m_appStoragePath = QStringLiteral("%FORM_NAME%\\");
    bool m_restored = false;
    bool m_saved = false;
};

}  // namespace tivaro
