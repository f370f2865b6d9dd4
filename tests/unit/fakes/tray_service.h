#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fakes/journal.h"
#include "platform/tray_service.h"

namespace pellux::fakes {

class FakeTrayService final : public TrayService {
 public:
  struct Call {
    TrayCommand command;
    TrayIconData data;
  };
  explicit FakeTrayService(Journal& journal) : journal_(journal) {}
  std::uint32_t RecordSize() override { return recordSize; }
  std::uintptr_t Picture(int index) override {
    return index >= 0 && index < kTrayPictureCount ? 0x100 + static_cast<std::uintptr_t>(index) : 0;
  }
  bool Notify(TrayCommand command, const TrayIconData& data) override {
    calls.push_back({command, data});
    const char* names[] = {"add", "modify", "delete"};
    journal_.push_back(std::string("tray ") + names[static_cast<int>(command)]);
    if (command == TrayCommand::Modify) return modifySucceeds;
    if (command == TrayCommand::Add) return addSucceeds;
    return true;
  }
  [[nodiscard]] std::string Tip(std::size_t call) const { return std::string(calls.at(call).data.szTip, kTipChars); }
  std::uint32_t recordSize = 88;
  bool modifySucceeds = true;
  bool addSucceeds = true;
  std::vector<Call> calls;

 private:
  Journal& journal_;
};

}  // namespace pellux::fakes
