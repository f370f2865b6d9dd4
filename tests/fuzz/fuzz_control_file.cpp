// Control-file reader against arbitrary bytes: the field splitter on its own
// and the whole evaluation over an in-memory file, which must always come
// back with a well-formed outcome.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "supervision/control_file.h"
#include "tray/tray_icon.h"

namespace {

class OneFile final : public pellux::FileSystem {
 public:
  OneFile(std::string path, std::string contents) : path_(std::move(path)), contents_(std::move(contents)) {}
  bool Exists(const std::string& path) override { return path == path_; }
  bool Append(const std::string&, const std::string&) override { return false; }
  bool Overwrite(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) override {
    if (path != path_) return std::nullopt;
    return contents_.substr(0, maxBytes);
  }
  std::optional<std::uint64_t> FileSize(const std::string&) override { return std::nullopt; }
  bool Replace(const std::string&, const std::string&) override { return false; }
  std::unique_ptr<pellux::FileWorker> StartWorker() override { return nullptr; }
  bool MayBlock(const std::string&) override { return false; }
  pellux::LookId StartLook(const std::string&, std::size_t) override { return 0; }
  bool LookAnswered(pellux::LookId, std::uint32_t) override { return false; }
  void CancelLook(pellux::LookId) override {}
  pellux::DistantLook TakeLook(pellux::LookId) override { return {}; }
  std::string ToCodePage(std::string text) override { return text; }

 private:
  std::string path_;
  std::string contents_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);

  const auto fields = pellux::ReadFirstTwoFields(content);
  if (fields.size() > 2) std::abort();
  std::size_t total = 0;
  for (const auto& f : fields) total += f.size();
  if (total > size) std::abort();  // fields are cut from the content, never invented

  // The first byte picks the location, so that both are exercised.
  const bool onD = size > 0 && (data[0] & 1) != 0;
  OneFile files(onD ? pellux::kControlFileOnD : "C:\\Monitor\\Pellux.stp", content);
  const pellux::ControlOutcome outcome = pellux::EvaluateControlFile(files, "C:\\Monitor", "1.0.0.0");
  if (outcome.end) return 0;
  const bool holding = outcome.picture == 4 && outcome.tip == pellux::kHoldingTip;
  const bool normal = outcome.picture == 0 && outcome.tip == pellux::VersionTip("1.0.0.0");
  if (!holding && !normal) std::abort();
  return 0;
}
