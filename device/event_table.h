// The events the device records, one row each, with their fields. The event
// structs (device/events.h), the JSON writer, the timeline's and the check's
// readers follow from this table, and a test compares the event log's list in
// docs/autorun-sim.md with it.
//
// AUTORUN_EVENT_KINDS(X): X(Kind, "name in the log", "when it is recorded").
// AUTORUN_EVENT_FIELDS_<Kind>(F): F(field, Type, "what it holds"), in the
// order the log writes them. A Type is Text (UTF-16, as the device holds it),
// Number, Flag, Texts (a list of texts), sim::Op (an operation, written by
// its name), CallRecord (a call's own fields, below); Omitted<T> is left out
// of the log when it is not set, OrNull<T> is written as null.
//
// AUTORUN_CALL_FIELDS_<Op>(F): the fields of a call of each platform
// operation: its arguments, then `result`, then what it returned through its
// pointers.
#pragma once

// clang-format off
#define AUTORUN_EVENT_KINDS(X)                                                                      \
    X(Step,           "step",            "a step of the card's life begins")                      \
    X(Start,          "start",           "a run of a program begins")                             \
    X(NotStarted,     "not-started",     "the loader does not start a program file")              \
    X(Call,           "call",            "a platform call, with its arguments, result and outputs") \
    X(Launch,         "launch",          "a program or a document is started through the shell")  \
    X(Copy,           "copy",            "a file copy, by the shell or by a program")             \
    X(Delete,         "delete",          "a program deletes a file")                              \
    X(KeyDelete,      "key-delete",      "one attempt to delete a registry key")                  \
    X(Sleep,          "sleep",           "a pause")                                               \
    X(MessageBox,     "message-box",     "a message box, dismissed at once")                      \
    X(Exit,           "exit",            "a run of a program ends")                               \
    X(Crash,          "crash",           "a run of a program ends in a crash")                    \
    X(Package,        "package",         "the cabinet installer reads a valid package")           \
    X(Refused,        "refused",         "the cabinet installer refuses a package")               \
    X(Installed,      "installed",       "the cabinet installer installed a package")             \
    X(PackageDeleted, "package-deleted", "the cabinet installer deleted the package, or could not") \
    X(Uninstalled,    "uninstalled",     "the uninstaller finished")                              \
    X(Configure,      "configure",       "a program hands the Configuration Manager a document")

#define AUTORUN_EVENT_FIELDS_Step(F)                                                                \
    F(name,    Text,             "insert, menu, tap, remove or run")                               \
    F(cards,   Omitted<Number>,  "insert: the cards that came back in; remove: those taken out")   \
    F(in,      Omitted<Number>,  "insert: the cards that are in")                                  \
    F(path,    Omitted<Text>,    "menu, tap: the file tapped; run: the program's path")            \
    F(exists,  Omitted<Flag>,    "run: whether the file is on the device")                         \
    F(runs,    Flag,             "whether the step starts a program")                              \
    F(why,     Omitted<Text>,    "insert: when a card is in and the shell starts nothing, why")    \
    F(facts,   Omitted<Texts>,   "insert: the device's facts that decided what the shell starts "  \
                                 "(processor, autoRunPolicy)")
#define AUTORUN_EVENT_FIELDS_Start(F)                                                               \
    F(path,    Text,             "the program's file")                                             \
    F(args,    Text,             "its command line")
#define AUTORUN_EVENT_FIELDS_NotStarted(F)                                                          \
    F(path,    Text,             "the program file")                                               \
    F(args,    Text,             "the command line it was to start with")                          \
    F(reason,  Text,             "why the loader does not start it")                               \
    F(facts,   Omitted<Texts>,   "the device's facts the refusal rests on")
#define AUTORUN_EVENT_FIELDS_Call(F)                                                                \
    F(op,      sim::Op,          "the operation")                                                  \
    F(record,  CallRecord,       "its arguments, result and outputs")                              \
    F(error,   Omitted<Number>,  "when it failed: the error code")                                 \
    F(why,     Omitted<Text>,    "when it failed: why, in the device's words")
#define AUTORUN_EVENT_FIELDS_Launch(F)                                                              \
    F(file,    Text,             "the file started or opened")                                     \
    F(args,    Text,             "its command line")                                               \
    F(ok,      Flag,             "whether the shell started it")                                   \
    F(error,   Omitted<Number>,  "when not: the error code")                                       \
    F(why,     Omitted<Text>,    "when not: why")
#define AUTORUN_EVENT_FIELDS_Copy(F)                                                                \
    F(from,    Text,             "the file copied")                                                \
    F(to,      Text,             "the copy")                                                       \
    F(ok,      Flag,             "whether it was made")                                            \
    F(error,   Omitted<Number>,  "when not: the error code")                                       \
    F(why,     Omitted<Text>,    "when not: why")
#define AUTORUN_EVENT_FIELDS_Delete(F)                                                              \
    F(path,    Text,             "the file")                                                       \
    F(ok,      Flag,             "whether it was deleted")                                         \
    F(error,   Omitted<Number>,  "when not: the error code")                                       \
    F(why,     Omitted<Text>,    "when not: why")
#define AUTORUN_EVENT_FIELDS_KeyDelete(F)                                                           \
    F(key,     Text,             "the key, with its root")                                         \
    F(attempt, Number,           "how many times the run has tried to delete it")                  \
    F(result,  Number,           "the error code; 0 when it was deleted")                          \
    F(why,     Omitted<Text>,    "when not: why")
#define AUTORUN_EVENT_FIELDS_Sleep(F)                                                               \
    F(ms,      Number,           "how long, in milliseconds")
#define AUTORUN_EVENT_FIELDS_MessageBox(F)                                                          \
    F(text,    Text,             "what it says")                                                   \
    F(caption, Text,             "its title")
#define AUTORUN_EVENT_FIELDS_Exit(F)                                                                \
    F(code,         Number,          "the exit code")                                              \
    F(instructions, Omitted<Number>, "an image's: the instructions it ran")                       \
    F(stack,        Omitted<Number>, "an image's: its deepest stack use, in bytes")
#define AUTORUN_EVENT_FIELDS_Crash(F)                                                               \
    F(code,    Number,           "the exception code")                                             \
    F(reason,  Text,             "what happened")                                                  \
    F(address, Number,           "where")
#define AUTORUN_EVENT_FIELDS_Package(F)                                                             \
    F(package,     Text,         "the package file")                                               \
    F(app,         Text,         "the application: \"<Provider> <AppName>\"")                      \
    F(provider,    Text,         "its provider")                                                   \
    F(appName,     Text,         "its application name")                                           \
    F(processor,   Number,       "the processor it is for; 0: any")                                \
    F(minVersion,  Text,         "the oldest Windows CE it is for; \"0.0\": any")                  \
    F(maxVersion,  Text,         "the newest; \"0.0\": any")                                       \
    F(minBuild,    Number,       "the oldest build; 0: any")                                       \
    F(maxBuild,    Number,       "the newest build; 0: any")                                       \
    F(unsupported, Texts,        "the platforms it is not for")
#define AUTORUN_EVENT_FIELDS_Refused(F)                                                             \
    F(package, Text,             "the package file")                                               \
    F(app,     Omitted<Text>,    "the application, when the package says")                         \
    F(why,     Text,             "why the installer refuses it")                                   \
    F(facts,   Omitted<Texts>,   "the device's facts the refusal rests on")
#define AUTORUN_EVENT_FIELDS_Installed(F)                                                           \
    F(package,    Text,          "the package file")                                               \
    F(app,        Text,          "the application")                                                \
    F(installDir, Text,          "its installation folder")                                        \
    F(files,      Texts,         "the files and shortcuts installed")                              \
    F(kept,       Texts,         "files that were there and kept")                                 \
    F(keys,       Texts,         "the keys made, with their roots")                               \
    F(setupDll,   Omitted<Text>, "the package's setup DLL, not run: its name in the cabinet")     \
    F(facts,      Omitted<Texts>, "the device's facts its checks of the package compared")
#define AUTORUN_EVENT_FIELDS_PackageDeleted(F)                                                      \
    F(package, Text,             "the package file")                                               \
    F(ok,      Flag,             "whether it was deleted")                                         \
    F(error,   Omitted<Number>,  "when not: the error code")                                       \
    F(why,     Omitted<Text>,    "when not: why")                                                  \
    F(facts,   Texts,            "the device's fact it rests on (installerDeletesPackage)")
#define AUTORUN_EVENT_FIELDS_Uninstalled(F)                                                         \
    F(app,     Text,             "the name the uninstaller was given")                             \
    F(inert,   Omitted<Flag>,    "set where Unload.exe removes nothing")                           \
    F(files,   Texts,            "the files and folders it removed")                               \
    F(keys,    Texts,            "the keys it removed")                                            \
    F(kept,    Omitted<Texts>,   "the folders the installer made that it leaves, when any")        \
    F(facts,   Texts,            "the device's facts it rests on (unload; uninstallerDepth when "  \
                                 "it leaves folders)")

#define AUTORUN_EVENT_FIELDS_Configure(F)                                                           \
    F(document, Text,            "the provisioning document, as given")                            \
    F(flags,    Number,          "how it is to be taken: 1 (CFGFLAG_PROCESS) carries it out")      \
    F(result,   Number,          "the answer: 0 (S_OK), or an error code such as 2147753991 "       \
                                 "(0x80042007, CONFIG_E_CSPEXCEPTION)")                             \
    F(output,   OrNull<Text>,    "the document answered; null for none")                           \
    F(why,      Omitted<Text>,   "when it failed: why")                                            \
    F(asked,    Texts,           "the applications the document asks the UnInstall provider to "    \
                                 "uninstall")                                                       \
    F(apps,     Texts,           "the applications the UnInstall provider uninstalled")            \
    F(files,    Texts,           "the files and folders it removed")                               \
    F(keys,     Texts,           "the keys it removed")                                            \
    F(kept,     Omitted<Texts>,  "the folders the installer made that it leaves, when any")        \
    F(facts,    Omitted<Texts>,  "the device's facts it rests on (configurationProviders; "        \
                                 "uninstallerDepth when it leaves folders)")

#define AUTORUN_CALL_FIELDS_GetModuleFileNameW(F)                                                   \
    F(size, Number) F(result, Number) F(path, OrNull<Text>)
#define AUTORUN_CALL_FIELDS_LoadStringW(F)                                                          \
    F(id, Number) F(size, Number) F(result, Number) F(text, OrNull<Text>)
#define AUTORUN_CALL_FIELDS_FindFirstFileW(F)                                                       \
    F(path, OrNull<Text>) F(result, Number)                                                        \
    F(name, Omitted<Text>) F(attributes, Omitted<Number>) F(time, Omitted<Number>)
#define AUTORUN_CALL_FIELDS_FindNextFileW(F)                                                        \
    F(handle, Number) F(result, Number)                                                            \
    F(name, Omitted<Text>) F(attributes, Omitted<Number>) F(time, Omitted<Number>)
#define AUTORUN_CALL_FIELDS_FindClose(F)                                                            \
    F(handle, Number) F(result, Number)
#define AUTORUN_CALL_FIELDS_CompareFileTime(F)                                                      \
    F(first, Number) F(second, Number) F(result, Number)
#define AUTORUN_CALL_FIELDS_SystemParametersInfoW(F)                                                \
    F(action, Number) F(param, Number) F(winIni, Number) F(result, Number) F(text, OrNull<Text>)
#define AUTORUN_CALL_FIELDS_GetVersionExW(F)                                                        \
    F(size, Number) F(result, Number)                                                              \
    F(major, OrNull<Number>) F(minor, OrNull<Number>) F(build, OrNull<Number>)
#define AUTORUN_CALL_FIELDS_ShellExecuteEx(F)                                                       \
    F(cbSize, Number) F(fMask, Number) F(hwnd, Number) F(verb, OrNull<Text>)                       \
    F(file, OrNull<Text>) F(parameters, OrNull<Text>) F(directory, OrNull<Text>)                   \
    F(nShow, Number) F(result, Number)
#define AUTORUN_CALL_FIELDS_SHGetSpecialFolderPath(F)                                               \
    F(owner, Number) F(folder, Number) F(create, Number) F(result, Number) F(path, OrNull<Text>)
#define AUTORUN_CALL_FIELDS_CopyFileW(F)                                                            \
    F(source, OrNull<Text>) F(target, Text) F(failIfExists, Number) F(result, Number)
#define AUTORUN_CALL_FIELDS_DeleteFileW(F)                                                          \
    F(path, OrNull<Text>) F(result, Number)
#define AUTORUN_CALL_FIELDS_RegOpenKeyExW(F)                                                        \
    F(key, Number) F(subKey, OrNull<Text>) F(options, Number) F(access, Number)                    \
    F(result, Number) F(handle, OrNull<Number>)
#define AUTORUN_CALL_FIELDS_RegDeleteKeyW(F)                                                        \
    F(key, Number) F(subKey, OrNull<Text>) F(result, Number)
#define AUTORUN_CALL_FIELDS_RegCloseKey(F)                                                          \
    F(key, Number) F(result, Number)
#define AUTORUN_CALL_FIELDS_MessageBoxW(F)                                                          \
    F(owner, Number) F(text, OrNull<Text>) F(caption, OrNull<Text>) F(type, Number)               \
    F(result, Number)
#define AUTORUN_CALL_FIELDS_Sleep(F)                                                                \
    F(ms, Number)
#define AUTORUN_CALL_FIELDS_LoadLibraryW(F)                                                         \
    F(name, OrNull<Text>) F(result, Number)
#define AUTORUN_CALL_FIELDS_FreeLibrary(F)                                                          \
    F(module, Number) F(result, Number)
#define AUTORUN_CALL_FIELDS_GetProcAddressW(F)                                                      \
    F(module, Number) F(name, OrNull<Text>) F(result, OrNull<Text>)
// clang-format on
