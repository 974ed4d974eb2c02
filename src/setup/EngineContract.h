// The names the stub and a setup engine share: the engine deletes the token
// atom to report success, and the stub waits while a window of the dialog
// class exists. Both are followed by the thread token "_<thread id>" that
// the engine gets as "/TH_ID=".
#pragma once

constexpr char kTokenAtomPrefix[] = "AutoUpdateAtomTokenByVarnix";
constexpr char kEngineDialogClassPrefix[] = ".SDialog_Class_Name.";
constexpr char kThreadTokenSwitch[] = "/TH_ID=";
