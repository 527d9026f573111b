// The edit commands end to end: scripted boxes, the real file system on a
// temp folder, and a decorator around it that fails any one step.
#include "ui/edit_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "demo/repair.h"
#include "tools/demo_builder.h"

namespace rewindor::ui {
namespace {

namespace fs = std::filesystem;
namespace b = builder;

// Records every box as one line; answers the OK/Cancel boxes from a script
// (OK when the script is used up). It can run a check while a box is shown.
class ScriptedWindow : public MessageBoxes {
 public:
  std::string path;
  std::vector<bool> answers;
  std::vector<std::string> boxes;
  std::function<void()> duringBox;

  bool Show(std::string_view caption, std::string_view text, MessageIcon icon, MessageButtons buttons) override {
    if (caption == "Error") {
      boxes.push_back("Error: " + std::string(text));
      return true;
    }
    boxes.push_back(std::string(caption) + (icon == MessageIcon::kQuestion ? " ? " : " i ") +
                    (buttons == MessageButtons::kOk ? "[OK] " : "[OK|Cancel] ") + std::string(text));
    if (duringBox) duringBox();
    if (answers.empty()) return true;
    bool ok = answers.front();
    answers.erase(answers.begin());
    return ok;
  }
};

// A command on the demo the scripted boxes' test names.
template <void (*command)(MessageBoxes&, FileSystem&, const std::string&)>
void On(ScriptedWindow& w, FileSystem& f) {
  command(w, f, w.path);
}

enum class Fault { kNone, kOpen, kSize, kShortRead, kAllocation, kCreateTemp, kWrite, kFlush, kReplace };

// The native file system with one step made to fail, with the reason "injected".
class FaultyFiles : public FileSystem {
 public:
  explicit FaultyFiles(Fault fault = Fault::kNone) : fault_(fault) {}
  int opens = 0;
  int temps = 0;  // temp files asked for: the demo was (to be) rewritten

  std::unique_ptr<DemoFile> OpenForReading(const std::string& path) override {
    return Wrap(NativeFileSystem().OpenForReading(path));
  }
  std::unique_ptr<DemoFile> OpenForEditing(const std::string& path) override {
    return Wrap(NativeFileSystem().OpenForEditing(path));
  }
  SystemError LastError() override {
    return injected_ ? SystemError{5, "injected"} : NativeFileSystem().LastError();
  }

 private:
  // True (and the reason set) when `fault` is the one to inject.
  bool Hit(Fault fault) { return fault_ == fault && (injected_ = true); }

  struct Temp : TempFile {
    Temp(FaultyFiles& o, std::unique_ptr<TempFile> t) : fs(o), inner(std::move(t)) {}
    bool Write(ByteView data) override {  // a failed write leaves half of the content behind
      return fs.Hit(Fault::kWrite) ? (inner->Write(data.first(data.size() / 2)), false) : inner->Write(data);
    }
    bool Flush() override { return !fs.Hit(Fault::kFlush) && inner->Flush(); }
    FaultyFiles& fs;
    std::unique_ptr<TempFile> inner;
  };
  struct Demo : DemoFile {
    Demo(FaultyFiles& o, std::unique_ptr<DemoFile> f) : fs(o), inner(std::move(f)) {}
    bool Size(std::uint64_t& size) override {
      if (fs.fault_ == Fault::kAllocation) size = std::uint64_t{1} << 62;  // more than memory can hold
      return fs.fault_ == Fault::kAllocation || (!fs.Hit(Fault::kSize) && inner->Size(size));
    }
    bool ReadAt(std::uint64_t offset, MutableByteView into) override {
      return fs.Hit(Fault::kShortRead) ? (inner->ReadAt(offset, into.first(into.size() - 1)), false)
                                       : inner->ReadAt(offset, into);
    }
    std::unique_ptr<TempFile> CreateTemp() override {
      ++fs.temps;
      std::unique_ptr<TempFile> temp = fs.Hit(Fault::kCreateTemp) ? nullptr : inner->CreateTemp();
      return temp ? std::make_unique<Temp>(fs, std::move(temp)) : nullptr;
    }
    bool ReplaceWith(TempFile& temp) override {
      return !fs.Hit(Fault::kReplace) && inner->ReplaceWith(*static_cast<Temp&>(temp).inner);
    }
    FaultyFiles& fs;
    std::unique_ptr<DemoFile> inner;
  };

  std::unique_ptr<DemoFile> Wrap(std::unique_ptr<DemoFile> file) {
    ++opens;
    injected_ = false;
    return file && !Hit(Fault::kOpen) ? std::make_unique<Demo>(*this, std::move(file)) : nullptr;
  }

  Fault fault_;
  bool injected_ = false;
};

// A temp folder holding one demo.
class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rewindor-patch-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(fs::create_directory(dir_));
    window_.path = (dir_ / "demo.dem").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const Bytes& bytes) {
    std::ofstream(window_.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Content() const {
    std::ifstream in(window_.path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
  }
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
  ScriptedWindow window_;
};

// A demo that every command changes: a fade, a team message, 640x480 viewports,
// and an announcement one loading frame (and 100 bytes) in.
Bytes EditableDemo() {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({Bytes(100, 0x01)}));
  demo.loading().items.push_back(b::LoadingFrame({b::BuildAnnouncement(4554)}));
  demo.playback().items.push_back(
      b::NetFrame({b::ScreenFadeMessage(), b::TeamChat("Ann", "go"), b::TeamChat("Bob", "ok", true, true)}));
  return b::Build(demo).bytes;
}

// A demo the game never finished: no directory, cut inside its last frame.
Bytes UnfinishedDemo() {
  b::Demo demo;
  demo.loading().items.push_back(b::LoadingFrame({b::Print("loading")}));
  demo.playback().items.push_back(b::Gameplay{.seconds = 2});
  demo.damage.noDirectory = true;
  demo.damage.directoryOffset = 0;
  Bytes bytes = b::Build(demo).bytes;
  bytes.resize(bytes.size() - kFrameHeaderSize - 5);  // no closing frame, 5 bytes short of the last frame
  return bytes;
}

struct Command {
  const char* name;
  std::function<void(ScriptedWindow&, FileSystem&)> run;
  const char* question;
  const char* result;  // the result box as ScriptedWindow writes it
  bool shortReadInBox;
  std::function<EditResult(MutableByteView)> step;
  bool unfinished = false;  // the demo it edits is UnfinishedDemo(), not EditableDemo()
};
Bytes DemoFor(const Command& c) { return c.unfinished ? UnfinishedDemo() : EditableDemo(); }
void PrintTo(const Command& c, std::ostream* os) { *os << c.name; }

const Command kCommands[] = {
    {"RemoveFadeToBlack", On<RemoveFadeToBlack>, "Rewindor ? [OK|Cancel] Удалитьfade to black?",
     "Rewindor ? [OK|Cancel] Fade to black удалено!", true, RemoveFadeToBlackStep},
    {"StripTeamChat", On<StripTeamChat>, "Rewindor ? [OK|Cancel] Убрать разгов.?",
     "Rewindor i [OK] 2 messages stripped.", false, StripTeamChatStep},
    {"ConvertResolution",
     [](ScriptedWindow& w, FileSystem& f) { ConvertResolution(w, f, w.path, 640, 480, 1280, 300); },
     "Rewindor ? [OK|Cancel] Конвертировать разр. демки?", "Rewindor ? [OK|Cancel] Demo конверт.!.", true,
     [](MutableByteView image) { return ConvertResolutionStep(image, 640, 480, 1280, 300); }},
    {"TrimLoadingSegment", On<TrimLoadingSegment>, "Rewindor ? [OK|Cancel] Фик.demo?",
     "Rewindor i [OK] Demo фикс.!", false, TrimLoadingSegmentStep},
    {"RepairUnfinishedDemo", On<RepairUnfinishedDemo>, "Rewindor ? [OK|Cancel] Починить демку?",
     "Rewindor i [OK] Демка починена! Время: 0:01, кадров: 127, отрезано в конце: 562 байт.", false,
     [](MutableByteView image) {
       RepairReport report;
       return RepairDemo(image, report);
     },
     true},
};

class Commands : public Folder, public ::testing::WithParamInterface<Command> {};

TEST_P(Commands, AskThenEditWhileHoldingTheDemoThenReport) {
  const Bytes before = DemoFor(GetParam());
  Put(before);
  Bytes expected = before;
  EditResult r = GetParam().step(expected);
  expected = Bytes(expected.begin() + static_cast<std::ptrdiff_t>(r.writeStart),
                   expected.begin() + static_cast<std::ptrdiff_t>(r.writeStart + r.writeLength));
  expected.insert(expected.end(), r.appended.begin(), r.appended.end());
  ASSERT_NE(expected, before);

  FaultyFiles files;
  int checked = 0;
  window_.duringBox = [&] {
    if (window_.boxes.size() != 2) return;
    // The result box: the demo is already wholly the new one, and still held.
    EXPECT_EQ(Content(), expected);
    EXPECT_EQ(NativeFileSystem().OpenForEditing(window_.path), nullptr);
#ifndef _WIN32
    // On Windows a read lets others write, and so it may meet an edit there.
    EXPECT_EQ(NativeFileSystem().OpenForReading(window_.path), nullptr);
#endif
    ++checked;
  };
  window_.answers = {true, false};  // the Cancel on a result box changes nothing
  GetParam().run(window_, files);
  EXPECT_EQ(window_.boxes, (std::vector<std::string>{GetParam().question, GetParam().result}));
  EXPECT_EQ(checked, 1);
  EXPECT_EQ(Content(), expected);
  EXPECT_EQ(FilesInFolder(), 1u);
  EXPECT_NE(NativeFileSystem().OpenForEditing(window_.path), nullptr);  // let go at the end
}

TEST_P(Commands, CancelOpensNothing) {
  FaultyFiles files;
  window_.path = (dir_ / "missing.dem").string();
  window_.answers = {false};
  GetParam().run(window_, files);
  EXPECT_EQ(window_.boxes, std::vector<std::string>{GetParam().question});
  EXPECT_EQ(files.opens, 0);
}

TEST_P(Commands, AnyFailingStepLeavesTheDemoAsItWasAndNoTempFile) {
  const Bytes demo = DemoFor(GetParam());
  const bool box = GetParam().shortReadInBox;
  const std::string read =
      box ? "Rewindor i [OK] Нельзя прочесть файл в память" : "Error: Нельзя прочесть файл в память: ";
  const std::string write = "Error: Нельзя записать контент в файл : injected";
  const std::tuple<Fault, Bytes, std::string> cases[] = {
      {Fault::kOpen, demo, "Error: Нельзя открыть demo-файл: injected"},
      {Fault::kSize, demo, "Error: Нельзя открыть demo-файл (reason 2): injected"},
      {Fault::kNone, {}, "Error: Нельзя открыть demo-файл (reason 2): Файл пуст."},
      {Fault::kShortRead, demo, read + (box ? "" : "injected")},
      {Fault::kAllocation, demo, read + (box ? "" : text::kReasonNoMemory)},
      {Fault::kCreateTemp, demo, write},
      {Fault::kWrite, demo, write},
      {Fault::kFlush, demo, write},
      {Fault::kReplace, demo, write},
  };
  for (const auto& [fault, before, report] : cases) {
    SCOPED_TRACE(report);
    Put(before);
    window_.boxes.clear();
    FaultyFiles files(fault);
    GetParam().run(window_, files);
    EXPECT_EQ(window_.boxes, (std::vector<std::string>{GetParam().question, report}));
    EXPECT_EQ(Content(), before);
    EXPECT_EQ(FilesInFolder(), 1u);
  }
  // A demo that another edit holds.
  window_.boxes.clear();
  auto other = NativeFileSystem().OpenForEditing(window_.path);
  FaultyFiles files;
  GetParam().run(window_, files);
  ASSERT_EQ(window_.boxes.size(), 2u);
#if defined(_WIN32)
  // On Windows the other edit's handle is a writer's, and a demo being written is refused.
  EXPECT_EQ(window_.boxes[1], std::string("Rewindor i [OK] ") + text::kReasonBeingWritten);
#else
  EXPECT_EQ(window_.boxes[1].rfind("Error: Нельзя открыть demo-файл: ", 0), 0u) << window_.boxes[1];
#endif
  EXPECT_EQ(Content(), demo);
}

// A file that every command would change but for its first bytes (a zip
// named .dem, a damaged copy) is refused, also in a dry run, and never written.
TEST_P(Commands, FileWithoutTheDemoSignatureIsRefused) {
  for (const char* start : {"PK\x03\x04", "hldemo", "HLDEMO!"}) {
    SCOPED_TRACE(start);
    Bytes before = EditableDemo();
    std::copy_n(start, std::strlen(start) + 1, before.begin());
    Put(before);
    window_.boxes.clear();
    FaultyFiles files;
    GetParam().run(window_, files);
    EXPECT_EQ(window_.boxes,
              (std::vector<std::string>{GetParam().question, std::string("Rewindor i [OK] ") + text::kNotADemo}));
    EXPECT_EQ(EditDemo(files, window_.path, GetParam().step, /*dryRun=*/true).failure, EditFailure::kRefused);
    EXPECT_EQ(Content(), before);
    EXPECT_EQ(FilesInFolder(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(All, Commands, ::testing::ValuesIn(kCommands),
                         [](const ::testing::TestParamInfo<Command>& p) {
                           return std::string(p.param.name);
                         });

TEST_F(Folder, ResolutionIsCheckedBeforeAnyQuestion) {
  FaultyFiles files;
  Put(EditableDemo());
  const std::string wrong = std::string("Rewindor i [OK] ") + text::kWrongResolution;
  const std::string zero = std::string("Rewindor i [OK] ") + text::kZeroCurrentResolution;
  // The new size is checked first; a current width of 65536 is 0 in its low 16 bits.
  const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::string> cases[] = {
      {640, 480, 1366, 768, wrong}, {0, 0, 1280, 1024, wrong}, {65536, 480, 800, 600, zero}};
  for (const auto& [w, h, nw, nh, report] : cases) {
    window_.boxes.clear();
    ConvertResolution(window_, files, window_.path, w, h, nw, nh);
    EXPECT_EQ(window_.boxes, std::vector<std::string>{report});
    EXPECT_EQ("Rewindor i [OK] " + std::string(ConvertResolutionRefusal(w, h, nw, nh)), report);
  }
  EXPECT_TRUE(ConvertResolutionRefusal(640, 480, 800, 600).empty());
  EXPECT_EQ(files.opens, 0);
}

TEST_F(Folder, RefusedTrimSaysWhyAndKeepsTheDemo) {
  b::Demo demo;
  demo.playback().items.push_back(b::NetFrame({b::Print("no announcement")}));
  const Bytes before = b::Build(demo).bytes;
  Put(before);
  FaultyFiles files;
  TrimLoadingSegment(window_, files, window_.path);
  EXPECT_EQ(window_.boxes,
            (std::vector<std::string>{"Rewindor ? [OK|Cancel] Фик.demo?",
                                      std::string("Rewindor i [OK] ") + text::kTrimNoBuildAnnouncement}));
  EXPECT_EQ(Content(), before);
  EXPECT_EQ(FilesInFolder(), 1u);
}

// An edit that finds nothing to change says so, with the information icon,
// and leaves the demo's file alone: no temp file, no replacement.
TEST_F(Folder, NothingToChangeIsSaidAndNothingIsWritten) {
  b::Demo plain;  // 640x480, no fade, no team chat, the announcement first in the first frame
  plain.loading().items.push_back(b::LoadingFrame({b::BuildAnnouncement(4554)}));
  plain.playback().items.push_back(b::Gameplay{.seconds = 1});
  const Bytes demo = b::Build(plain).bytes;
  const std::string info = "Rewindor i [OK] ";
  const std::tuple<std::function<void(ScriptedWindow&, FileSystem&)>, std::string> cases[] = {
      {On<RemoveFadeToBlack>, info + text::kNoFadesFound},
      {On<StripTeamChat>, info + "0 messages stripped."},
      {[](ScriptedWindow& w, FileSystem& f) { ConvertResolution(w, f, w.path, 1024, 768, 800, 600); },
       info + text::kNoSizeRecordsFound},
      {[](ScriptedWindow& w, FileSystem& f) { ConvertResolution(w, f, w.path, 640, 480, 640, 480); },
       info + text::kNoSizeRecordsFound},
      {On<TrimLoadingSegment>, info + text::kNothingToTrim},
      {On<RepairUnfinishedDemo>, info + text::kDemoNotBroken},
  };
  Put(demo);
  for (const auto& [run, result] : cases) {
    window_.boxes.clear();
    FaultyFiles files;
    run(window_, files);
    ASSERT_EQ(window_.boxes.size(), 2u);
    EXPECT_EQ(window_.boxes[1], result);
    EXPECT_EQ(files.temps, 0) << result;
    EXPECT_EQ(Content(), demo);
  }
  // Nor in a dry run, which tells the same.
  EditOutcome out = EditDemo(NativeFileSystem(), window_.path, RemoveFadeToBlackStep, /*dryRun=*/true);
  EXPECT_TRUE(out.ok() && !out.changed());
  EXPECT_EQ(ResultText(kRemoveFadeToBlackTexts, out.result.changes), text::kNoFadesFound);
}

TEST_F(Folder, DryRunReportsWithoutWriting) {
  const Bytes before = EditableDemo();
  Put(before);
  EditOutcome out = EditDemo(NativeFileSystem(), window_.path, TrimLoadingSegmentStep, /*dryRun=*/true);
  ASSERT_TRUE(out.ok()) << out.FailureText();
  EXPECT_EQ(out.bytesRemoved(), 577u);
  EXPECT_EQ(out.newSize, before.size() - 577);
  EXPECT_EQ(Content(), before);
  out = EditDemo(NativeFileSystem(), window_.path, StripTeamChatStep, /*dryRun=*/true);
  EXPECT_EQ(out.result.changes, 2u);
  EXPECT_EQ(out.bytesRemoved(), 0u);
  EXPECT_EQ(Content(), before);
  EXPECT_EQ(FilesInFolder(), 1u);
}

}  // namespace
}  // namespace rewindor::ui
