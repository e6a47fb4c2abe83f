// Test control of everything the program holds of the system at a time: its windows,
// device objects, kernel handles, menus, event hooks, registrations and tray icons. A test
// takes a snapshot, lets the program run, and compares: a count that grew is a leak.
#pragma once

#include "layer_only.h"

#include "control/d3d11_control.h"
#include "control/desktop_control.h"
#include "win32/handles.h"

struct PortableLiveCounts {
  int windows = 0;        // the program's windows, hidden ones included
  int deviceObjects = 0;  // device, DXGI and blob objects
  int files = 0;          // open kernel handles, by kind
  int mutexes = 0;
  int waitableTimers = 0;
  int menus = 0;
  int winEventHooks = 0;
  int sessionRegistrations = 0;
  int powerRegistrations = 0;  // power settings
  int suspendRegistrations = 0;
  int trayIcons = 0;
};

// Each count where its objects live.
int PortableOpenHandleCount(PortableHandleKind kind);
int PortableSessionRegistrationCount();
int PortablePowerSettingRegistrationCount();
int PortableSuspendRegistrationCount();

inline PortableLiveCounts PortableCountLive() {
  PortableLiveCounts live;
  live.windows = (int)PortableProgramWindows().size();
  live.deviceObjects = PortableLiveObjectCount();
  live.files = PortableOpenHandleCount(PortableHandleKind::File);
  live.mutexes = PortableOpenHandleCount(PortableHandleKind::Mutex);
  live.waitableTimers = PortableOpenHandleCount(PortableHandleKind::Timer);
  live.menus = PortableLiveMenuCount();
  live.winEventHooks = PortableWinEventHookCount();
  live.sessionRegistrations = PortableSessionRegistrationCount();
  live.powerRegistrations = PortablePowerSettingRegistrationCount();
  live.suspendRegistrations = PortableSuspendRegistrationCount();
  live.trayIcons = (int)PortableTrayIcons().size();
  return live;
}
