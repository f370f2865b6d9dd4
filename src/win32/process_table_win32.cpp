// PSAPI_VERSION 2 maps EnumProcesses and friends onto their K32 forms in
// kernel32, so no psapi import is needed.
#define PSAPI_VERSION 2
#include "win32/process_table_win32.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "win32/command_line_answer.h"
#include "win32/path_rules.h"
#include "win32/utf_conversion.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

HANDLE AsHandle(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }

using QuerySystemInformation = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
// The list grows with every process started meanwhile; a few tries suffice.
constexpr int kListTries = 8;
constexpr std::size_t kStartInfoBytes = 256 * 1024;

// The system's process list, the one place that names every process's
// session without opening it: ProcessIdToSessionId opens the process, which
// another user's refuses. Taken from ntdll, which every process has loaded
// before its first instruction, by name: no import, so nothing can be planted.
QuerySystemInformation SystemInformationQuery() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
}

using QueryProcessInformation = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
// Not in every SDK's enumeration: the command line asked of the system, with
// only limited query rights, from Windows 8.1 on.
constexpr ULONG kProcessCommandLineInformation = 60;
// Far more than any command line (32767 characters): an answer that asks for
// more is not trusted.
constexpr ULONG kLongestCommandLineBytes = 80 * 1024;

QueryProcessInformation ProcessInformationQuery() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<QueryProcessInformation>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationProcess")));
}

// Reads size bytes at address in the process into out; false unless all of them were read.
bool ReadMemory(HANDLE process, const void* address, void* out, std::size_t size) {
  SIZE_T read = 0;
  return ::ReadProcessMemory(process, address, out, size, &read) != FALSE && read == size;
}

// The layouts read below, as Windows documents them for each word size
// (PEB, RTL_USER_PROCESS_PARAMETERS, UNICODE_STRING): the headers of either
// build must agree, or the reads would take the wrong bytes for an address.
constexpr std::size_t kWord = sizeof(void*);
static_assert(kWord == 4 || kWord == 8, "a 32-bit or a 64-bit build");
static_assert(sizeof(UNICODE_STRING) == 2 * kWord && offsetof(UNICODE_STRING, Buffer) == kWord,
              "a counted string: two lengths, then the address at the next word");
static_assert(offsetof(PROCESS_BASIC_INFORMATION, PebBaseAddress) == kWord, "the PEB's address in the basic answer");
static_assert(offsetof(PEB, ProcessParameters) == (kWord == 8 ? 0x20 : 0x10), "the parameters' address in the PEB");
static_assert(offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine) == (kWord == 8 ? 0x70 : 0x40),
              "the command line in the parameters");

// The same layouts in the 64-bit form, spelled out for the 32-bit build, which
// reads them in a 64-bit process's memory: fixed-width fields, each address
// a 64-bit value whatever this build's word. Only the heads up to the fields
// read (the basic answer's PEB address, the PEB's parameters, the command
// line in the parameters).
struct BasicInformation64 {
  std::int32_t exitStatus;
  std::uint32_t padding;
  std::uint64_t pebBaseAddress;
  std::uint64_t affinityMask;
  std::int32_t basePriority;
  std::uint32_t padding2;
  std::uint64_t uniqueProcessId;
  std::uint64_t inheritedFromUniqueProcessId;
};
struct CountedString64 {
  std::uint16_t length;
  std::uint16_t maximumLength;
  std::uint32_t padding;
  std::uint64_t buffer;
};
struct PebHead64 {
  std::uint8_t flags[4];
  std::uint32_t padding;
  std::uint64_t mutant;
  std::uint64_t imageBaseAddress;
  std::uint64_t loaderData;
  std::uint64_t processParameters;
};
struct ParametersHead64 {
  std::uint8_t lengthsAndFlags[16];
  std::uint64_t handlesAndDirectory[10];
  CountedString64 imagePathName;
  CountedString64 commandLine;
};
static_assert(sizeof(BasicInformation64) == 0x30 && offsetof(BasicInformation64, pebBaseAddress) == 0x08,
              "the 64-bit basic answer: the PEB's address at 8");
static_assert(sizeof(CountedString64) == 0x10 && offsetof(CountedString64, buffer) == 0x08,
              "the 64-bit counted string: the address at 8");
static_assert(offsetof(PebHead64, processParameters) == 0x20, "the parameters' address in the 64-bit PEB");
static_assert(offsetof(ParametersHead64, commandLine) == 0x70, "the command line in the 64-bit parameters");
// Where this build is the 64-bit one, its own headers must agree with them.
static_assert(kWord != 8 ||
                  (sizeof(UNICODE_STRING) == sizeof(CountedString64) &&
                   offsetof(PROCESS_BASIC_INFORMATION, PebBaseAddress) ==
                       offsetof(BasicInformation64, pebBaseAddress) &&
                   offsetof(PEB, ProcessParameters) == offsetof(PebHead64, processParameters) &&
                   offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine) == offsetof(ParametersHead64, commandLine)),
              "the 64-bit mirror is the 64-bit headers' layout");

// A command line is at most 32767 characters; a counted string that says more
// (or splits a character) is not one.
constexpr std::size_t kLongestCommandLineText = 32767 * sizeof(wchar_t);
bool PlausibleLength(std::size_t bytes) { return bytes <= kLongestCommandLineText && bytes % sizeof(wchar_t) == 0; }

// From the process's own parameters, through its PEB: a kAccessRead handle
// is needed for the memory read. A process of this build's word size only:
// a 64-bit one seen from the 32-bit monitor is read below.
bool CommandLineFromMemory(QueryProcessInformation query, HANDLE process, std::wstring* wide) {
  PROCESS_BASIC_INFORMATION basic{};
  ULONG got = 0;
  if (query(process, ProcessBasicInformation, &basic, sizeof basic, &got) < 0 || basic.PebBaseAddress == nullptr)
    return false;
  PEB peb{};
  RTL_USER_PROCESS_PARAMETERS parameters{};
  if (!ReadMemory(process, basic.PebBaseAddress, &peb, sizeof peb) || peb.ProcessParameters == nullptr ||
      !ReadMemory(process, peb.ProcessParameters, &parameters, sizeof parameters))
    return false;
  const UNICODE_STRING& line = parameters.CommandLine;
  if (!PlausibleLength(line.Length)) return false;
  wide->assign(line.Length / sizeof(wchar_t), L'\0');
  return line.Length == 0 || ReadMemory(process, line.Buffer, wide->data(), line.Length);
}

// The WOW64 layer's own calls in the 32-bit ntdll on 64-bit Windows: the
// basic answer in its 64-bit form, and a read at a 64-bit address. Taken by
// name at run time; where they are missing (a 32-bit Windows, a system
// without them) the command line is unreadable.
using QueryProcessInformation64 = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using ReadMemory64 = NTSTATUS(NTAPI*)(HANDLE, std::uint64_t, PVOID, std::uint64_t, std::uint64_t*);

struct Wow64Calls {
  QueryProcessInformation64 query = nullptr;
  ReadMemory64 read = nullptr;
};

Wow64Calls Wow64CallsOfNtdll() {
  Wow64Calls calls;
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return calls;
  calls.query = reinterpret_cast<QueryProcessInformation64>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtWow64QueryInformationProcess64")));
  calls.read = reinterpret_cast<ReadMemory64>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtWow64ReadVirtualMemory64")));
  return calls;
}

// Reads size bytes at the 64-bit address in the process into out; false unless all of them were read.
bool ReadMemory64At(const Wow64Calls& calls, HANDLE process, std::uint64_t address, void* out, std::size_t size) {
  std::uint64_t read = 0;
  return address != 0 && calls.read(process, address, out, size, &read) >= 0 && read == size;
}

// A 64-bit process seen from the 32-bit monitor on 64-bit Windows: its PEB
// and parameters have the 64-bit layout, at addresses this build cannot
// hold, so they are read through the WOW64 layer's 64-bit calls (a
// kAccessRead handle, as above).
bool CommandLineFrom64BitMemory(HANDLE process, std::wstring* wide) {
  static const Wow64Calls calls = Wow64CallsOfNtdll();
  if (calls.query == nullptr || calls.read == nullptr) return false;
  BasicInformation64 basic{};
  ULONG got = 0;
  if (calls.query(process, ProcessBasicInformation, &basic, sizeof basic, &got) < 0) return false;
  PebHead64 peb{};
  ParametersHead64 parameters{};
  if (!ReadMemory64At(calls, process, basic.pebBaseAddress, &peb, sizeof peb) ||
      !ReadMemory64At(calls, process, peb.processParameters, &parameters, sizeof parameters))
    return false;
  const CountedString64& line = parameters.commandLine;
  if (!PlausibleLength(line.length)) return false;
  wide->assign(line.length / sizeof(wchar_t), L'\0');
  return line.length == 0 || ReadMemory64At(calls, process, line.buffer, wide->data(), line.length);
}

// The command line read from the process's memory, in the layout of its own
// word size. Where a 64-bit process is seen from the 32-bit monitor and the
// WOW64 calls do not read it, the command line is unreadable: ControllerMatch
// then counts such a javaw.exe as the controller without ever ending it on
// that ground.
bool CommandLineOfProcessMemory(QueryProcessInformation query, HANDLE process, std::wstring* wide) {
  BOOL selfWow64 = FALSE;
  BOOL otherWow64 = FALSE;
  if (!::IsWow64Process(::GetCurrentProcess(), &selfWow64) || !::IsWow64Process(process, &otherWow64)) return false;
  if (selfWow64 != FALSE && otherWow64 == FALSE) return CommandLineFrom64BitMemory(process, wide);
  return CommandLineFromMemory(query, process, wide);
}

}  // namespace

static_assert(sizeof(std::int32_t) == sizeof(DWORD), "process ids are 32-bit");
static_assert(sizeof(ModuleHandle) == sizeof(HMODULE), "module handles are pointer-sized");

bool Win32ProcessTable::ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) {
  DWORD returned = 0;
  const bool ok = ::EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &returned) != FALSE;
  *bytesReturned = returned;
  return ok;
}

ProcessHandle Win32ProcessTable::Open(std::uint32_t access, bool inheritable, std::int32_t id) {
  return reinterpret_cast<ProcessHandle>(::OpenProcess(access, inheritable ? TRUE : FALSE, static_cast<DWORD>(id)));
}

bool Win32ProcessTable::ListModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bytes,
                                    std::uint32_t* bytesNeeded) {
  DWORD needed = 0;
  const bool ok = ::EnumProcessModules(AsHandle(process), reinterpret_cast<HMODULE*>(modules), bytes, &needed) != FALSE;
  if (bytesNeeded != nullptr) *bytesNeeded = needed;
  return ok;
}

std::uint32_t Win32ProcessTable::ModulePath(ProcessHandle process, ModuleHandle module, char* buffer,
                                            std::uint32_t capacity) {
  // The wide query, so that a path outside the ANSI code page is read as it
  // is and compared in the core's one encoding. It cuts a path that does not
  // fit, unterminated, and says nothing: a full buffer may hold a cut path.
  std::wstring wide(capacity, L'\0');
  const DWORD copied = ::GetModuleFileNameExW(AsHandle(process), reinterpret_cast<HMODULE>(module), wide.data(),
                                              capacity);
  if (copied == 0) return 0;
  wide.resize(std::min<DWORD>(copied, capacity));
  return HandOnPath(WideToUtf8(wide), copied >= capacity, buffer, capacity);
}

std::uint32_t Win32ProcessTable::ImagePath(ProcessHandle process, char* buffer, std::uint32_t capacity) {
  // In: the buffer's room including the terminating NUL; out: the characters
  // written without it. A path that does not fit fails instead of being cut:
  // answered as a full buffer, so that the scan asks again with a larger one.
  std::wstring wide(capacity, L'\0');
  DWORD size = capacity;
  if (!::QueryFullProcessImageNameW(AsHandle(process), 0, wide.data(), &size)) {
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? capacity : 0;
  }
  wide.resize(std::min<DWORD>(size, capacity));
  return HandOnPath(WideToUtf8(wide), false, buffer, capacity);
}

bool Win32ProcessTable::CommandLine(ProcessHandle process, std::string* commandLine) {
  static const QueryProcessInformation query = ProcessInformationQuery();
  if (query == nullptr) return false;
  // The answer is a UNICODE_STRING followed by the text it points to; a
  // buffer that is too small is answered with the size it needs.
  std::vector<unsigned char> buffer(4096);
  ULONG needed = 0;
  NTSTATUS status = query(AsHandle(process), kProcessCommandLineInformation, buffer.data(),
                          static_cast<ULONG>(buffer.size()), &needed);
  if (status < 0 && needed > buffer.size() && needed <= kLongestCommandLineBytes) {
    buffer.resize(needed);
    status = query(AsHandle(process), kProcessCommandLineInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                   &needed);
  }
  std::wstring wide;
  if (status >= 0) {
    // Read only inside the answer: a counted string whose address is null
    // or elsewhere, or whose length runs past the answer, is no command line.
    const std::optional<AnswerText> text = TextInEitherLayout(buffer.data(), buffer.size(),
                                                              reinterpret_cast<std::uintptr_t>(buffer.data()), kWord);
    if (!text || !PlausibleLength(text->bytes)) return false;
    wide.assign(text->bytes / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), buffer.data() + text->offset, text->bytes);
  } else if (!CommandLineOfProcessMemory(query, AsHandle(process), &wide)) {
    // Windows 7 and Wine know no such question (STATUS_INVALID_INFO_CLASS);
    // elsewhere the memory read fails as well.
    return false;
  }
  *commandLine = WideToUtf8(wide);
  return true;
}

bool Win32ProcessTable::ExitCode(ProcessHandle process, std::uint32_t* exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(AsHandle(process), &code)) return false;
  *exitCode = code;
  return true;
}

bool Win32ProcessTable::Terminate(ProcessHandle process, std::uint32_t exitCode) {
  return ::TerminateProcess(AsHandle(process), exitCode) != FALSE;
}

bool Win32ProcessTable::Close(ProcessHandle process) { return CloseKernelHandle(AsHandle(process)); }

bool ProcessCreationTime(void* handle, std::uint64_t* created) {
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!::GetProcessTimes(static_cast<HANDLE>(handle), &creation, &exit, &kernel, &user)) return false;
  *created = (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
  return true;
}

bool Win32ProcessTable::CreationTime(ProcessHandle process, std::uint64_t* created) {
  return ProcessCreationTime(AsHandle(process), created);
}

bool Win32ProcessTable::TakeSnapshot() {
  // The system process information keeps each process's parent id and
  // session, which no query of a running process gives without opening it.
  static const QuerySystemInformation query = SystemInformationQuery();
  if (query == nullptr) return false;
  // Kept between calls: the list is taken several times a cycle.
  std::vector<unsigned char>& buffer = infoBuffer_;
  if (buffer.empty()) buffer.resize(kStartInfoBytes);
  NTSTATUS status = kInfoLengthMismatch;
  for (int tries = 0; tries < kListTries && status == kInfoLengthMismatch; ++tries) {
    ULONG needed = 0;
    status = query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 64 * 1024));
  }
  return status >= 0;
}

namespace {

// Calls each with every entry of a snapshot the system wrote into buffer.
template <typename Each>
void ForEachEntry(const std::vector<unsigned char>& buffer, Each&& each) {
  for (std::size_t at = 0;;) {
    const auto* info = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
    each(*info);
    if (info->NextEntryOffset == 0) break;
    at += info->NextEntryOffset;
  }
}

std::int32_t IdOf(HANDLE id) { return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(id)); }

}  // namespace

bool Win32ProcessTable::ListFamilies(std::vector<ProcessEntry>* entries) {
  if (!TakeSnapshot()) return false;
  entries->clear();
  ForEachEntry(infoBuffer_, [&](const SYSTEM_PROCESS_INFORMATION& info) {
    // The idle process has no name; it is listed as the snapshot lists it.
    const std::wstring name(info.ImageName.Buffer == nullptr ? L"" : info.ImageName.Buffer,
                            info.ImageName.Length / sizeof(wchar_t));
    entries->push_back({IdOf(info.UniqueProcessId), IdOf(info.InheritedFromUniqueProcessId), WideToUtf8(name),
                        static_cast<SessionId>(info.SessionId)});
  });
  return true;
}

bool Win32ProcessTable::ListSessions(std::vector<ProcessSession>* sessions) {
  if (!TakeSnapshot()) return false;
  sessions->clear();
  ForEachEntry(infoBuffer_, [&](const SYSTEM_PROCESS_INFORMATION& info) {
    sessions->push_back({IdOf(info.UniqueProcessId), static_cast<SessionId>(info.SessionId),
                         static_cast<std::uint64_t>(info.CreateTime.QuadPart)});
  });
  return true;
}

bool Win32ProcessTable::SessionOf(std::int32_t id, SessionId* session) {
  DWORD number = 0;
  if (!::ProcessIdToSessionId(static_cast<DWORD>(id), &number)) return false;
  *session = number;
  return true;
}

SessionId Win32ProcessTable::CurrentSession() {
  // Read from the same list as every other process's session, so that the
  // two are compared as the system gives them; the process's own word when
  // the list cannot be had. A process never changes its session.
  if (ownSession_) return *ownSession_;
  const std::int32_t self = CurrentProcessId();
  std::vector<ProcessEntry> entries;
  if (ListFamilies(&entries))
    for (const ProcessEntry& entry : entries)
      if (entry.id == self) ownSession_ = entry.session;
  DWORD session = 0;
  if (!ownSession_ && ::ProcessIdToSessionId(static_cast<DWORD>(self), &session)) ownSession_ = session;
  // Unknown only when both failed: 0, the services' session, where no
  // operator's programs run.
  return ownSession_.value_or(0);
}

std::int32_t Win32ProcessTable::CurrentProcessId() { return static_cast<std::int32_t>(::GetCurrentProcessId()); }

std::int32_t Win32ProcessTable::LastError() { return static_cast<std::int32_t>(::GetLastError()); }

}  // namespace pellux::win32
