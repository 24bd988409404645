// The add-in end to end, through COM, as the IDE drives it: VIRAMU32.exe is
// registered, created by its ProgID, connected to the scripted IDE, clicked
// (dialog answered from a test thread), disconnected, and must then exit.
// The converted files are compared byte for byte with what the Linux build
// made of the same project.
//
// Arguments: --server=VIRAMU32.exe --project=P.vbp --expected=FOLDER
// (Windows paths; the project is converted in place).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "addin/connect_object.h"
#include "addin/type_library.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/convert_project.h"
#include "fake_ide.h"
#include "host/win32/windows_text.h"
#include "shell/connect.h"
#include "shell/registration.h"
#include "window_answerer.h"

namespace vireo::testing {
namespace {

std::string server_path, project_file, expected_folder;

constexpr DWORD kProgramTimeoutMs = 30000;

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Every file of the folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : Names(folder)) files[name] = ReadBytes(folder + name);
  return files;
}

// Runs the server with `arguments`; its exit status, or -1 when it did not end in time.
int RunServer(const std::string& arguments) {
  std::wstring command = L"\"" + Wide(server_path) + L"\" " + Wide(arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    return -2;
  DWORD waited = ::WaitForSingleObject(process.hProcess, kProgramTimeoutMs);
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return waited == WAIT_OBJECT_0 ? static_cast<int>(status) : -1;
}

std::vector<DWORD> ServerProcesses() {
  std::vector<DWORD> ids;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (::lstrcmpiW(entry.szExeFile, L"VIRAMU32.exe") == 0) ids.push_back(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return ids;
}

std::string VbIniPath() {
  char windows[MAX_PATH];
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows) + "\\VB.INI";
}

bool ClassKeyExists(const std::string& key) {
  HKEY handle;
  if (::RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), &handle) != ERROR_SUCCESS) return false;
  ::RegCloseKey(handle);
  return true;
}

// The grid controls of every row the dialog offers, registered as their
// setup would, for the life of the object.
class RegisteredGridControls {
 public:
  RegisteredGridControls() {
    FillGridCatalogue();
    for (int row : {1, 2, 3, 5, 6}) {
      keys_.push_back("CLSID\\{" + GridCatalogue().Item(row).Item("CLSID_MsPlover").ToString() +
                      "}");
      HKEY handle;
      ::RegCreateKeyA(HKEY_CLASSES_ROOT, keys_.back().c_str(), &handle);
      ::RegSetValueA(handle, nullptr, REG_SZ, "grid", 4);
      ::RegCloseKey(handle);
    }
  }
  ~RegisteredGridControls() {
    for (const std::string& key : keys_) ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
  }

 private:
  std::vector<std::string> keys_;
};

SeenWindow Message(const std::string& text, const std::string& icon) {
  SeenWindow seen;
  seen.text = text;
  seen.icon = icon;
  return seen;
}

void ExpectMessages(const std::vector<SeenWindow>& seen, const std::vector<SeenWindow>& wanted) {
  ASSERT_EQ(seen.size(), wanted.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].kind, SeenWindow::kMessageBox) << i;
    EXPECT_EQ(seen[i].text, wanted[i].text) << i;
    EXPECT_EQ(seen[i].icon, wanted[i].icon) << i;
    EXPECT_EQ(seen[i].buttons, 1) << i;
    EXPECT_EQ(seen[i].button_text, "OK") << i;
    EXPECT_TRUE(seen[i].topmost) << i;  // system-modal
  }
}

// One IDE session, shared by the steps below, which run in order.
struct Session {
  WindowAnswerer answerer;
  ComPtr<FakeIdeApplication> ide;
  ComPtr<IDispatch> connect;
  DWORD server_process = 0;
};
Session* session = nullptr;

class AddIn : public ::testing::Test {
 protected:
  FakeIdeApplication& Ide() { return *session->ide.get(); }
  WindowAnswerer& Answerer() { return session->answerer; }
};

TEST_F(AddIn, RegistrationRunsMainWhichListsTheAddInOnce) {
  WriteBytes(VbIniPath(), "[Add-Ins32]\r\nVIRATool32.Connector=0\r\n");
  EXPECT_EQ(RunServer("/RegServer"), 0);
  ExpectMessages(Answerer().TakeSeen(),
                 {Message("Add-in registered successfully.", "information")});
  std::string vb_ini = ReadBytes(VbIniPath());
  EXPECT_NE(vb_ini.find("VIRAMU32.Connect=0"), std::string::npos) << vb_ini;
  EXPECT_EQ(vb_ini.find("VIRATool32.Connector"), std::string::npos) << vb_ini;
  EXPECT_TRUE(ClassKeyExists("VIRAMU32.Connect\\CLSID"));
  // The type library, with the description the IDE's add-in manager shows.
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadRegTypeLib(kTypeLibraryId, 1, 0, LOCALE_NEUTRAL, library.put()), S_OK);
  BSTR description = nullptr;
  library->GetDocumentation(-1, nullptr, &description, nullptr, nullptr);
  EXPECT_EQ(FromBstr(description), "Vireo Pro 5.0 Migration Utility (32-bit)");
  ::SysFreeString(description);
  ComPtr<ITypeInfo> connect_class;
  EXPECT_EQ(library->GetTypeInfoOfGuid(kConnectClassId, connect_class.put()), S_OK);

  // The second start shows nothing, and removes the sibling again.
  WriteBytes(VbIniPath(), vb_ini + "[Add-Ins32]\r\nVIRATool32.Connector=1\r\n");
  EXPECT_EQ(RunServer(""), 0);
  EXPECT_TRUE(Answerer().TakeSeen().empty());
  vb_ini = ReadBytes(VbIniPath());
  EXPECT_NE(vb_ini.find("VIRAMU32.Connect=0"), std::string::npos) << vb_ini;
  EXPECT_EQ(vb_ini.find("VIRATool32.Connector"), std::string::npos) << vb_ini;
}

// A setup program's silent mode: the entry is written, nothing is shown.
TEST_F(AddIn, RegistrationWithSIsSilent) {
  WriteBytes(VbIniPath(), "[Add-Ins32]\r\nOther.Connect=1\r\n");
  EXPECT_EQ(RunServer("/RegServer /S"), 0);
  EXPECT_TRUE(Answerer().TakeSeen().empty());
  EXPECT_EQ(ReadBytes(VbIniPath()), "[Add-Ins32]\r\nOther.Connect=1\r\nVIRAMU32.Connect=0\r\n");
  EXPECT_TRUE(ClassKeyExists("VIRAMU32.Connect\\CLSID"));
}

TEST_F(AddIn, ConnectingAddsTheMenuItem) {
  CLSID class_id;
  ASSERT_EQ(::CLSIDFromProgID(L"VIRAMU32.Connect", &class_id), S_OK);
  ASSERT_EQ(::CoCreateInstance(class_id, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(session->connect.put())),
            S_OK);
  std::vector<DWORD> servers = ServerProcesses();
  ASSERT_EQ(servers.size(), 1u);
  session->server_process = servers[0];
  CallByName(session->connect.get(), L"ConnectAddIn", DISPATCH_METHOD,
             {Variant(static_cast<IDispatch*>(session->ide.get()))});
  ASSERT_EQ(Ide().menu_items().items.size(), 1u);
  EXPECT_EQ(Ide().menu_items().items[0]->caption(), "&Vireo Pro 5.0 Migration Utility");
  EXPECT_TRUE(Ide().menu_items().items[0]->HasSink());
  EXPECT_TRUE(Answerer().TakeSeen().empty());  // Main ran again, silently
}

TEST_F(AddIn, AClickConvertsTheProjectAsTheLinuxBuildDoes) {
  ASSERT_TRUE(session->connect);
  Answerer().AnswerDialogs("Vireo 4.0", true);
  Ide().menu_items().items.at(0)->Click();
  std::vector<SeenWindow> seen = Answerer().TakeSeen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, SeenWindow::kConvertDialog);
  EXPECT_EQ(seen[0].from_entries,
            (std::vector<std::string>{"Plover 1.0", "Vireo 4.0", "Vireo Standard 1.0",
                                      "Vireo Pro 5.0 for VB4 (Eval)"}));
  EXPECT_EQ(seen[0].from_selected, "Plover 1.0");
  EXPECT_TRUE(seen[0].ok_enabled_after_pick);
  ExpectMessages({seen[1]}, {Message(kConvertedMessage, "information")});

  std::string folder = Folder(project_file);
  std::map<std::string, std::string> converted = Snapshot(folder);
  std::map<std::string, std::string> expected = Snapshot(expected_folder);
  EXPECT_EQ(converted.size(), expected.size());  // nothing left beside the project
  for (const auto& [name, bytes] : expected) EXPECT_TRUE(converted[name] == bytes) << name;
  EXPECT_EQ(Ide().loaded, std::vector<std::string>{project_file + "|"});

  HWND status = ::FindWindowW(L"VireoMigrationStatus", L"Status");
  EXPECT_TRUE(status && !::IsWindowVisible(status));
}

TEST_F(AddIn, AClickThatIsCancelledTouchesNothing) {
  std::map<std::string, std::string> before = Snapshot(Folder(project_file));
  Answerer().AnswerDialogs("", false);
  Ide().menu_items().items.at(0)->Click();
  std::vector<SeenWindow> seen = Answerer().TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, SeenWindow::kConvertDialog);
  EXPECT_EQ(Snapshot(Folder(project_file)), before);
  EXPECT_EQ(Ide().loaded.size(), 1u);
}

TEST_F(AddIn, AnUnsavedComponentIsRefused) {
  std::map<std::string, std::string> before = Snapshot(Folder(project_file));
  Ide().components().at(1)->dirty = true;
  Ide().menu_items().items.at(0)->Click();
  Ide().components().at(1)->dirty = false;
  ExpectMessages(Answerer().TakeSeen(), {Message(kUnsavedMessage, "exclamation")});
  EXPECT_EQ(Snapshot(Folder(project_file)), before);
}

TEST_F(AddIn, DisconnectingRemovesTheItemAndTheServerExits) {
  ComPtr<FakeMenuItem> item = Ide().menu_items().items.at(0);
  CallByName(session->connect.get(), L"DisconnectAddIn", DISPATCH_METHOD, {Variant(int32_t{0})});
  EXPECT_TRUE(Ide().menu_items().items.empty());
  EXPECT_EQ(Ide().menu_items().removed, 1);
  EXPECT_FALSE(item->HasSink());
  HANDLE server = ::OpenProcess(SYNCHRONIZE, FALSE, session->server_process);
  ASSERT_TRUE(server);
  session->connect.reset();
  EXPECT_EQ(::WaitForSingleObject(server, kProgramTimeoutMs), WAIT_OBJECT_0);
  ::CloseHandle(server);
  EXPECT_TRUE(ServerProcesses().empty());
}

// Unregistering is the one start without Main: it takes the add-in's lines
// out of VB.INI, whatever their case and spacing and in every section of
// that name, and leaves every other byte as it was (the sibling's line too).
TEST_F(AddIn, UnregisteringRemovesTheClassAndTheVbIniLine) {
  const std::string before =
      "; tools\n[Options]\r\n  FontSize = 9  \r\n\r\n[add-ins32]\r\nOther.Connect = 1\n"
      "  viramu32.connect = 0\r\nVIRATool32.Connector=1\r\n\r\n[Last]\rx=1\r\n"
      "[Add-Ins32]\r\nVIRAMU32.Connect=1\r\nTail.Connect=0";
  WriteBytes(VbIniPath(), before);
  EXPECT_EQ(RunServer("/UnregServer"), 0);
  EXPECT_EQ(ReadBytes(VbIniPath()),
            "; tools\n[Options]\r\n  FontSize = 9  \r\n\r\n[add-ins32]\r\nOther.Connect = 1\n"
            "VIRATool32.Connector=1\r\n\r\n[Last]\rx=1\r\n[Add-Ins32]\r\nTail.Connect=0");
  EXPECT_FALSE(ClassKeyExists("VIRAMU32.Connect"));
  ComPtr<ITypeLib> library;
  EXPECT_NE(::LoadRegTypeLib(kTypeLibraryId, 1, 0, LOCALE_NEUTRAL, library.put()), S_OK);
  CLSID class_id;
  EXPECT_NE(::CLSIDFromProgID(L"VIRAMU32.Connect", &class_id), S_OK);
  EXPECT_TRUE(Answerer().TakeSeen().empty());

  // Again, with nothing left to remove: a success that writes nothing, and
  // no VB.INI made where there was none.
  std::string after = ReadBytes(VbIniPath());
  EXPECT_EQ(RunServer("/UnregServer"), 0);
  EXPECT_EQ(ReadBytes(VbIniPath()), after);
  ::DeleteFileA(VbIniPath().c_str());
  EXPECT_EQ(RunServer("/UnregServer"), 0);
  EXPECT_EQ(ReadBytes(VbIniPath()), "<missing>");
  EXPECT_TRUE(Answerer().TakeSeen().empty());
}

// Keeps one IDispatch of this process marshalled for the apartment's life:
// Wine then never unregisters the interface while a release is in flight.
class Anchor final : public DispatchObject {
 public:
  Anchor() : DispatchObject({}) {}
  void Call(DISPID, WORD, const std::vector<const VARIANT*>&, VARIANT*) override {}
};

}  // namespace
}  // namespace vireo::testing

int main(int argc, char** argv) {
  using namespace vireo::testing;
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    auto value = [&](const char* name) { return argument.substr(std::string(name).size()); };
    if (argument.rfind("--server=", 0) == 0) server_path = value("--server=");
    if (argument.rfind("--project=", 0) == 0) project_file = value("--project=");
    if (argument.rfind("--expected=", 0) == 0) expected_folder = value("--expected=");
  }
  if (server_path.empty() || project_file.empty() || expected_folder.empty()) {
    std::fprintf(stderr, "usage: %s --server=EXE --project=VBP --expected=FOLDER\n", argv[0]);
    return 2;
  }
  if (expected_folder.back() != '\\') expected_folder += '\\';
  ::CoInitialize(nullptr);
  int status;
  {
    RegisteredGridControls controls;
    auto* anchor = new Anchor;
    IStream* stream = nullptr;
    ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    ::CoMarshalInterface(stream, IID_IDispatch, anchor, MSHCTX_LOCAL, nullptr,
                         MSHLFLAGS_TABLESTRONG);
    Session run;
    run.ide = vireo::ComPtr<vireo::testing::FakeIdeApplication>(
        new vireo::testing::FakeIdeApplication(project_file));
    session = &run;
    status = RUN_ALL_TESTS();
    session = nullptr;
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ::CoReleaseMarshalData(stream);
    stream->Release();
    anchor->Release();
  }
  ::CoUninitialize();
  return status;
}
