#pragma once

/// Command ids, shared by menus, accelerators, the tool bar and context menus.
enum CommandId : int {
    ID_APP_EXIT = 57665,
    ID_EDIT_SELECT_ALL = 57642,
    ID_MANUAL_REGISTRATION = 32771,
    ID_AUTO_REGISTRATION = 32772,
    ID_CREATE_GROUP = 32773,
    ID_ADD_TO_GROUP = 32774,
    ID_EDIT_SETTINGS = 32794,
    ID_CHANGE_NAME = 32775,
    ID_DELETE = 32776,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_TASK_TRAY = 32777,
    ID_REFRESH = 32778,
    ID_REBOOT = 32780,
    ID_SHUTDOWN = 32781,
    ID_POWER_OFF = 32782,
    ID_FORCIBLE_REBOOT = 32784,
    ID_FORCIBLE_SHUTDOWN = 32785,
    ID_FORCED_POWER_OFF = 32786,
    ID_WAKE_UP = 32793,
    ID_RESERVE = 32787,
    ID_PASSWORD = 32789,
    ID_OPTIONS = 32788,
    ID_HELP_CONTENTS_E = 32792,
    ID_HELP_CONTENTS_J = 32791,
    ID_APP_ABOUT = 57664,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
};

/// A view that serves commands. The frame offers each command to the active view
/// first, then to the other views, then handles it itself.
class CCommandTarget {
public:
    virtual ~CCommandTarget() = default;
    /// True when this target handles `id`; then *pEnabled says whether it is enabled.
    virtual bool OnUpdateCommand(int id, bool* pEnabled) = 0;
    /// True when this target handled `id`.
    virtual bool OnCommand(int id) = 0;
};

#include <cstdint>
#include <functional>
#include <optional>

/// The operation word of a power command: (forcible << 16) | code. Power OFF and Forced
/// Power OFF send exactly what Shutdown and Forcible Shutdown send.
std::optional<std::uint32_t> OperationWordOf(int id);

/// The frame's command routing, for context menus that views show: the chosen command
/// goes through the same routing as a menu command.
void SetCommandRouter(std::function<void(int)> fnRoute);
void RouteCommand(int id);

/// Settings/"EnablePowOffCmd" as read at start-up: false hides Power OFF (32782) and
/// Forced Power OFF (32786) in every menu the window shows.
bool IsPowerOffEnabled();
void SetPowerOffEnabled(bool bEnabled);
