#include "cli/records/output_file.hpp"

#include "cli/arguments/exit_code.hpp"
#include "os/files.hpp"

namespace fwup::cli {
namespace {

// The checks in the order that names the first problem, then `write`; the platform's reasons
// become the shell's message.
template <typename Write>
void CheckThen(const OutputFile& file, const std::vector<OutputFile>& inputs, const Write& write) {
  try {
    if (file.path.empty()) throw os::FileError("no file name was given");
    os::CheckFileKind(file.path);
    for (const OutputFile& input : inputs) {
      if (os::SameFile(file.path, input.path)) {
        throw os::FileError("it is " + std::string(input.what) + " '" + input.path + "' itself; give another name");
      }
    }
    os::CheckWritable(file.path);
    write();
  } catch (const os::FileError& error) {
    throw CliError(ExitCode::kOutputFailed, "cannot write " + std::string(file.what) + " to '" + file.path +
                                                "': " + error.what() + "; nothing was written");
  }
}

}  // namespace

void CheckOutputFile(const OutputFile& file, const std::vector<OutputFile>& inputs) {
  CheckThen(file, inputs, [] {});
}

void WriteOutputFile(const OutputFile& file, std::span<const std::uint8_t> bytes,
                     const std::vector<OutputFile>& inputs) {
  CheckThen(file, inputs, [&] { os::WriteWhole(file.path, bytes); });
}

}  // namespace fwup::cli
