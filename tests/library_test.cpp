// The library without its window: cells, sorting, the filter and the status
// line of the model; listing a folder; the reader on its thread; the batch
// repair; and the layout kept in the registry.
#include "library/model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <set>

#include "demo/demo_format.h"
#include "library/inbox.h"
#include "library/listing.h"
#include "library/reader.h"
#include "library/repair_batch.h"
#include "settings/library_layout.h"
#include "support/fake_registry.h"
#include "support/scratch.h"
#include "tools/demo_builder.h"

namespace rewindor {
namespace {

namespace fs = std::filesystem;
using C = LibraryColumn;

// Local time is UTC here, so dates read the same on every machine.
std::tm Utc(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#if defined(_WIN32)
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  return tm;
}

LibraryRow Row(std::string name, std::uint64_t size = 1000, std::optional<double> seconds = 60) {
  LibraryRow row;
  row.file = {"/demos/" + name, name, size, 1700000000};
  row.state = DemoState::kFinished;
  row.map = "de_dust2";
  row.duration = seconds;
  return row;
}

std::vector<std::string> Column(const LibraryModel& model, C column) {
  std::vector<std::string> cells;
  for (std::size_t i = 0; i < model.ShownCount(); ++i) cells.push_back(model.Cell(i, column));
  return cells;
}

TEST(LibraryModel, CellsShowDemoTextsAsTheWindowDoes) {
  LibraryModel model(AsCyrillicCodePage, Utc);
  LibraryRow full = Row("a.dem", 1363148, 75.9);
  full.state = DemoState::kUnfinished;
  full.map = "\xEA\xE0\xF0\xF2\xE0";  // "карта" in the code page
  full.server = "Server\nTwo";         // a line break cannot start a line of its own
  full.recorder = "\xC8\xE3\xF0\xEE\xEA";
  full.roster = {"x", "y", "z"};
  model.Put(full);
  LibraryRow broken;
  broken.file = {"/demos/b.dem", "b.dem", 0, 0};
  broken.error = "Демку не прочесть: Файл пуст.";
  model.Put(broken);

  const std::vector<std::string> a = {"a.dem", "карта", "1:15", "3", "Server Two", "Игрок", "2023-11-14 22:13",
                                      "1,3 МБ", "не дописана", ""};
  const std::vector<std::string> b = {"b.dem", "", "", "", "", "", "1970-01-01 00:00", "0 Б", broken.error, ""};
  // A text file renamed: the header's bytes are no map, and it has no players.
  LibraryRow notes;
  notes.file = {"/demos/c.dem", "c.dem", 28, 0, "sub"};
  notes.state = DemoState::kNotADemo;
  notes.map = "was renamed";
  model.Put(notes);
  const std::vector<std::string> c3 = {"c.dem", "", "", "", "", "", "1970-01-01 00:00", "28 Б", "не демка", "sub"};
  for (std::size_t c = 0; c < kLibraryColumnCount; ++c) {
    EXPECT_EQ(model.Cell(0, static_cast<C>(c)), a[c]) << c;
    EXPECT_EQ(model.Cell(1, static_cast<C>(c)), b[c]) << c;
    EXPECT_EQ(model.Cell(2, static_cast<C>(c)), c3[c]) << c;
  }
  // Sizes: whole bytes below a kilobyte; a value that rounds up to 1,024 goes to the next unit.
  EXPECT_EQ(LibrarySizeText(1023), "1023 Б");
  EXPECT_EQ(LibrarySizeText(1024), "1,0 КБ");
  EXPECT_EQ(LibrarySizeText(929253), "907,5 КБ");
  EXPECT_EQ(LibrarySizeText((1u << 20) - 1), "1,0 МБ");
  EXPECT_EQ(LibrarySizeText(5ull << 40), "5120,0 ГБ");
}

TEST(LibraryModel, NumbersSortAsNumbersTextsWithoutCaseStablyAndASecondClickReverses) {
  LibraryModel model(DemoTextToUtf8, Utc);
  LibraryRow r1 = Row("яблоко.dem", 100, 600), r2 = Row("Арбуз.dem", 9, 75), r3 = Row("банан.dem", 10, 9);
  r1.roster.resize(10);
  r2.roster.resize(9);
  r1.map = r3.map = "same";
  for (LibraryRow* r : {&r1, &r2, &r3}) model.Put(*r);
  EXPECT_EQ(Column(model, C::kFile), (std::vector<std::string>{"Арбуз.dem", "банан.dem", "яблоко.dem"}));
  model.SortBy(C::kSize);
  EXPECT_EQ(Column(model, C::kSize), (std::vector<std::string>{"9 Б", "10 Б", "100 Б"}));
  model.SortBy(C::kTime);
  EXPECT_EQ(Column(model, C::kTime), (std::vector<std::string>{"0:09", "1:15", "10:00"}));
  model.SortBy(C::kPlayers);
  EXPECT_EQ(Column(model, C::kPlayers), (std::vector<std::string>{"0", "9", "10"}));
  model.SortBy(C::kPlayers);
  EXPECT_TRUE(model.descending());
  EXPECT_EQ(Column(model, C::kPlayers), (std::vector<std::string>{"10", "9", "0"}));
  // Equal maps keep the order they had, ascending and descending.
  model.SortBy(C::kMap);
  EXPECT_EQ(Column(model, C::kFile), (std::vector<std::string>{"Арбуз.dem", "яблоко.dem", "банан.dem"}));
  model.SortBy(C::kMap);
  EXPECT_EQ(Column(model, C::kFile), (std::vector<std::string>{"яблоко.dem", "банан.dem", "Арбуз.dem"}));
  // A row read again replaces its old self and takes its new place.
  r2.map = "zzz";
  model.Put(r2);
  EXPECT_EQ(Column(model, C::kFile), (std::vector<std::string>{"Арбуз.dem", "яблоко.dem", "банан.dem"}));
  EXPECT_EQ(model.ShownIndexOf(r3.file.path), std::optional<std::size_t>(2));
}

// A reading hands its rows over in batches: a batch lands where the same rows
// put one by one land, after the rows equal to them and in its own order, a
// row read again (twice in the batch too) at its new place.
TEST(LibraryModel, ABatchLandsWhereItsRowsPutOneByOneLand) {
  LibraryModel one(DemoTextToUtf8, Utc), all(DemoTextToUtf8, Utc);
  for (LibraryModel* model : {&one, &all}) {
    model->SortBy(C::kTime);
    model->Put(Row("a.dem", 1, 60));
    model->Put(Row("b.dem", 1, 30));
  }
  const std::vector<LibraryRow> batch = {Row("c.dem", 1, 60), Row("d.dem", 1, 30), Row("a.dem", 1, 10),
                                         Row("e.dem", 1, 60), Row("c.dem", 1, 5)};
  for (const LibraryRow& row : batch) one.Put(row);
  all.PutAll(batch);
  EXPECT_EQ(Column(all, C::kFile), (std::vector<std::string>{"c.dem", "a.dem", "b.dem", "d.dem", "e.dem"}));
  EXPECT_EQ(Column(all, C::kFile), Column(one, C::kFile));
  EXPECT_EQ(all.CountText(), "5 из 5");
}

TEST(LibraryModel, FilterCountAndProgress) {
  LibraryModel model(AsCyrillicCodePage, Utc);
  model.Restart(5, 2);
  LibraryRow a = Row("a.dem"), b = Row("b.dem"), c = Row("c.dem");
  a.players = {"\xC8\xE3\xF0\xEE\xEA"};
  b.server = "Игровой сервер";
  c.state = DemoState::kUnfinished;
  for (LibraryRow* r : {&a, &b, &c}) model.Put(*r);
  EXPECT_EQ(model.StatusText(), "Прочитано 3 из 5, Папок не прочитано: 2");
  model.SetFilter("ИГР");
  EXPECT_EQ(Column(model, C::kFile), (std::vector<std::string>{"a.dem", "b.dem"}));
  EXPECT_EQ(model.CountText(), "2 из 3");
  // A row's tip names the player the filter found, as the window shows the
  // name; none when the server matched.
  EXPECT_EQ(model.MatchedPlayer(0), std::optional<std::string>("Игрок"));
  EXPECT_EQ(model.MatchedPlayer(1), std::nullopt);
  EXPECT_EQ(model.MatchedPlayer(2), std::nullopt);
  EXPECT_TRUE(model.UnfinishedShown().empty());
  model.SetFilter("");
  EXPECT_EQ(model.MatchedPlayer(0), std::nullopt);
  ASSERT_EQ(model.UnfinishedShown().size(), 1u);
  EXPECT_EQ(model.UnfinishedShown()[0].path, c.file.path);
  model.Finish();
  EXPECT_EQ(model.StatusText(), "3 из 3, Папок не прочитано: 2");
  model.Restart(1);
  EXPECT_EQ(model.ShownCount(), 0u);
  EXPECT_EQ(model.StatusText(), "Прочитано 0 из 1");
}

TEST(LibraryModel, FilterFindsAPlayersSteamId) {
  LibraryModel model(AsCyrillicCodePage, Utc);
  model.Restart(2);
  LibraryRow b = Row("b.dem");
  b.steamIds = {"76561198053761909"};
  model.Put(Row("a.dem"));
  model.Put(b);
  model.SetFilter("8053761909");
  EXPECT_EQ(Column(model, C::kFile), (std::vector<std::string>{"b.dem"}));
}

// The "Папка" column: a demo's folder below the listed one.
TEST(LibraryListing, FolderBelowTheListedOne) {
  struct Case {
    const char* listed;
    const char* path;
    const char* below;
  };
  for (const Case& c : {Case{"C:\\Demos", "C:\\Demos\\a.dem", ""},
                        Case{"C:\\Demos", "C:\\Demos\\Клипы\\a.dem", "Клипы"},
                        Case{"C:\\Demos", "C:\\Demos\\x\\y\\a.dem", "x\\y"},
                        Case{"C:", "C:\\a\\b.dem", "a"},
                        Case{"/r/", "/r/sub/b.dem", "sub"},
                        Case{"/r", "/other/b.dem", ""}}) {
    EXPECT_EQ(FolderBelow(c.listed, c.path), c.below) << c.path;
  }
}

// ---------------------------------------------------------------------------
// Listing.

// Folders in memory: "/" joins names; a folder listed as unreadable fails
// after giving what it holds.
class FakeFolders final : public Folders {
 public:
  std::map<std::string, std::vector<FolderEntry>> folders;
  std::set<std::string> failing;
  std::vector<std::string> listed;

  void Add(const std::string& folder, const std::string& name, EntryKind kind = EntryKind::kFile, bool link = false) {
    folders[folder].push_back({name, kind, link, 10, 20, folder + "/" + name});
    if (kind == EntryKind::kFolder) folders[folder + "/" + name];
  }
  FolderListing List(const std::string& folder) override {
    listed.push_back(folder);
    FolderListing listing;
    auto it = folders.find(folder);
    if (it != folders.end()) listing.entries = it->second;
    listing.opened = it != folders.end();
    if (it == folders.end() || failing.count(folder)) listing.error = SystemError{5, "denied"};
    return listing;
  }
  bool IsFile(const std::string&) override { return false; }
};

std::vector<std::string> Paths(const LibraryListing& listing) {
  std::vector<std::string> paths;
  for (const LibraryFile& f : listing.demos) paths.push_back(f.path);
  return paths;
}

TEST(LibraryListing, DemosInAnyCaseNoLinkedFolderAndUnreadableFoldersNoted) {
  FakeFolders fake;
  for (const char* name : {"b.DEM", "a.dem", "notes.dem.txt", "x.Dem"}) fake.Add("/r", name);
  fake.Add("/r", "old.dem", EntryKind::kFolder);  // a folder, not a demo
  fake.Add("/r", "gone.dem", EntryKind::kNowhere, true);  // a link to a demo deleted since
  fake.Add("/r", "sub", EntryKind::kFolder);
  fake.Add("/r/sub", "c.dem");
  fake.Add("/r/sub", "loop", EntryKind::kFolder, true);  // a link back up: never entered
  fake.folders["/r/sub/loop"] = fake.folders["/r"];
  fake.Add("/r", "private", EntryKind::kFolder);
  fake.Add("/r/private", "d.dem");
  fake.failing.insert("/r/private");

  EXPECT_EQ(Paths(ListLibrary(fake, "/r", false)), (std::vector<std::string>{"/r/a.dem", "/r/b.DEM", "/r/x.Dem"}));
  const LibraryListing all = ListLibrary(fake, "/r", true);
  EXPECT_EQ(Paths(all), (std::vector<std::string>{"/r/a.dem", "/r/b.DEM", "/r/private/d.dem", "/r/sub/c.dem",
                                                  "/r/x.Dem"}));
  ASSERT_EQ(all.unreadable.size(), 1u);
  EXPECT_EQ(all.unreadable[0].path, "/r/private");
  EXPECT_EQ(std::count(fake.listed.begin(), fake.listed.end(), "/r/sub/loop"), 0);

  // A chain of folders deeper than the library enters is cut there.
  FakeFolders deep;
  std::string folder = "/d";
  for (int i = 0; i < kMaxLibraryDepth + 10; ++i) {
    deep.Add(folder, "x.dem");
    deep.Add(folder, "n", EntryKind::kFolder);
    folder += "/n";
  }
  EXPECT_EQ(ListLibrary(deep, "/d", true).demos.size(), static_cast<std::size_t>(kMaxLibraryDepth + 1));
  const std::atomic<bool> stopped{true};
  EXPECT_TRUE(ListLibrary(deep, "/d", true, &stopped).demos.empty());
}

// ---------------------------------------------------------------------------
// On the disk: the platform's listing, the reader's thread and the repair.

Bytes Finished(std::string name) {
  builder::Demo demo;
  demo.loading().items.push_back(builder::LoadingFrame(
      {builder::ServerInfoMessage({.maxPlayers = 8, .slot = 0, .hostName = "Сервер"}),
       builder::UpdateUserInfoRaw(0, 1, "\\name\\" + name)}));
  demo.playback().items.push_back(builder::Gameplay{.seconds = 3});
  return builder::Build(demo).bytes;
}
// As a killed game leaves it: no directory, the closing frame missing.
Bytes Unfinished() {
  builder::Demo demo;
  demo.playback().items.push_back(builder::Gameplay{.seconds = 2});
  demo.damage.noDirectory = true;
  demo.damage.directoryOffset = 0;
  Bytes bytes = builder::Build(demo).bytes;
  bytes.resize(bytes.size() - kFrameHeaderSize);
  return bytes;
}

// Collects what the reader tells; the first row can be held until released.
class Collector final : public LibrarySink {
 public:
  bool holdFirst = false;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<LibraryRow> rows;
  std::size_t listed = 0;
  bool finished = false, released = false;

  void Listed(const LibraryListing& listing) override {
    std::lock_guard<std::mutex> lock(mutex);
    listed = listing.demos.size();
  }
  void RowRead(LibraryRow row) override {
    std::unique_lock<std::mutex> lock(mutex);
    rows.push_back(std::move(row));
    changed.notify_all();
    if (holdFirst) changed.wait(lock, [this] { return released; });
  }
  void Finished() override {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    changed.notify_all();
  }
};

// A reading of `folder` into `sink`, waited for until it says it has finished.
void ReadToTheEnd(FileSystem& files, Folders& folders, const std::string& folder, bool subfolders,
                  Collector& sink) {
  LibraryReader reader(files, folders, folder, subfolders, sink);
  std::unique_lock<std::mutex> lock(sink.mutex);
  ASSERT_TRUE(sink.changed.wait_for(lock, std::chrono::seconds(20), [&] { return sink.finished; }));
}

TEST(LibraryReader, ReadsEveryDemoIntoARowAndStopsWhenAsked) {
  ScratchFolder dir("rewindor-library");
  dir.Write("a.dem", Finished("Alpha"));
  dir.Write("sub/b.DEM", Unfinished());
  dir.Write("c.dem", Bytes{});
  dir.Write("d.txt", Finished("Nobody"));
  dir.Write("notes.dem", Bytes{'n', 'o', 't', 'e', 's'});  // a text file renamed: no demo, never unfinished
  Collector sink;
  ReadToTheEnd(NativeFileSystem(), NativeFolders(), dir.Path() + "/", true, sink);
  EXPECT_EQ(sink.listed, 4u);
  ASSERT_EQ(sink.rows.size(), 4u);
  std::map<std::string, const LibraryRow*> byName;
  for (const LibraryRow& row : sink.rows) byName[row.file.fileName] = &row;
  EXPECT_EQ(byName.at("a.dem")->state, DemoState::kFinished);
  EXPECT_EQ(byName.at("a.dem")->server, std::optional<std::string>("Сервер"));
  EXPECT_EQ(byName.at("a.dem")->recorder, std::optional<std::string>("Alpha"));
  EXPECT_EQ(byName.at("a.dem")->file.size, Finished("Alpha").size());
  EXPECT_EQ(byName.at("b.DEM")->state, DemoState::kUnfinished);
  EXPECT_EQ(byName.at("c.dem")->state, DemoState::kReadError);
  EXPECT_EQ(byName.at("c.dem")->error, "Демку не прочесть: Файл пуст.");
  EXPECT_EQ(byName.at("notes.dem")->state, DemoState::kNotADemo);

  // Asked to stop while it hands over its first row, it hands over no other.
  Collector held;
  held.holdFirst = true;
  {
    LibraryReader reader(NativeFileSystem(), NativeFolders(), dir.Path(), true, held);
    std::unique_lock<std::mutex> lock(held.mutex);
    ASSERT_TRUE(held.changed.wait_for(lock, std::chrono::seconds(20), [&] { return !held.rows.empty(); }));
    reader.RequestStop();
    held.released = true;
    held.changed.notify_all();
    lock.unlock();
  }
  EXPECT_EQ(held.rows.size(), 1u);
  EXPECT_FALSE(held.finished);
}

TEST(LibraryListing, ThePlatformsEntersNoLinkedFolder) {
  ScratchFolder dir("rewindor-library");
  dir.Write("a.dem", Finished("Alpha"));
  dir.Write("sub/b.dem", Finished("Bravo"));
  std::error_code ec;  // links need a privilege on Windows: without them, the plain listing
  fs::create_directory_symlink(dir.root(), dir.root() / "sub" / "loop", ec);  // a loop back to the top
  fs::create_symlink(dir.root() / "a.dem", dir.root() / "sub" / "link.dem", ec);  // a link to a demo counts
  const LibraryListing listing = ListLibrary(NativeFolders(), dir.Path(), true);
  std::vector<std::string> names;
  for (const LibraryFile& f : listing.demos) names.push_back(f.fileName);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (ec ? std::vector<std::string>{"a.dem", "b.dem"}
                       : std::vector<std::string>{"a.dem", "b.dem", "link.dem"}));
  EXPECT_TRUE(listing.unreadable.empty());
  const LibraryListing missing = ListLibrary(NativeFolders(), dir.Path() + "/none", true);
  ASSERT_EQ(missing.unreadable.size(), 1u);
  EXPECT_NE(missing.unreadable[0].why.text, "");
}

// A file system whose demos run out of memory while they are read.
class NoMemoryFiles final : public FileSystem {
 public:
  struct File final : DemoFile {
    bool Size(std::uint64_t& size) override {
      size = 1000;
      return true;
    }
    bool ReadAt(std::uint64_t, MutableByteView) override { throw std::bad_alloc(); }
    std::unique_ptr<TempFile> CreateTemp() override { return nullptr; }
    bool ReplaceWith(TempFile&) override { return false; }
  };
  std::unique_ptr<DemoFile> OpenForReading(const std::string&) override { return std::make_unique<File>(); }
  std::unique_ptr<DemoFile> OpenForEditing(const std::string&) override { return std::make_unique<File>(); }
  SystemError LastError() override { return {}; }
};

// Out of memory, a demo gets a row with the reason, and neither the reader's
// thread nor the repair ends the program; the others are still read.
TEST(LibraryReader, ADemoTooLargeForMemoryIsARowNotTheEnd) {
  FakeFolders folders;
  folders.Add("/r", "a.dem");
  folders.Add("/r", "b.dem");
  NoMemoryFiles files;
  Collector sink;
  ReadToTheEnd(files, folders, "/r", false, sink);
  ASSERT_EQ(sink.rows.size(), 2u);
  EXPECT_EQ(sink.rows[1].error, "Демку не прочесть: Не хватает памяти, чтобы прочесть файл целиком.");
  const LibraryRepair repair = RepairLibraryDemos(files, {sink.rows[0].file});
  EXPECT_EQ(repair.refused, 1u);
  EXPECT_EQ(repair.text, "Не починено: 1\na.dem: " + sink.rows[0].error);
}

TEST(LibraryInbox, OneNoticeForRowsThatPileUpAndEverythingDrainedInOrder) {
  int notices = 0;
  LibraryInbox inbox([&] { ++notices; });
  LibraryModel model(DemoTextToUtf8, Utc);
  LibraryListing listing;
  listing.demos.resize(4);
  inbox.Listed(listing);
  inbox.RowRead(Row("a.dem"));
  inbox.RowRead(Row("b.dem"));
  inbox.RowRead(Row("c.dem"));
  EXPECT_EQ(notices, 2);
  EXPECT_TRUE(inbox.Drain(model));
  EXPECT_EQ(model.StatusText(), "Прочитано 3 из 4");
  // Rows alone are news too: the dialog shows the table again only then.
  inbox.RowRead(Row("d.dem"));
  EXPECT_TRUE(inbox.Drain(model));
  EXPECT_EQ(model.StatusText(), "Прочитано 4 из 4");
  inbox.Finished();
  EXPECT_EQ(notices, 4);
  EXPECT_TRUE(inbox.Drain(model));
  EXPECT_EQ(model.StatusText(), "4 из 4");
  EXPECT_FALSE(inbox.Drain(model));
}

// The dialog's way: the reader's thread fills the inbox while this thread
// drains it into the model whenever notified, until the reading has finished.
TEST(LibraryInbox, TakesARealReadingAcrossThreads) {
  ScratchFolder dir("rewindor-library");
  for (const char* name : {"a.dem", "b.dem", "sub/c.dem", "sub/d.dem", "e.dem"}) dir.Write(name, Finished("Alpha"));
  std::mutex mutex;
  std::condition_variable notified;
  int notices = 0;
  LibraryInbox inbox([&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++notices;
    notified.notify_all();
  });
  LibraryModel model(DemoTextToUtf8, Utc);
  LibraryReader reader(NativeFileSystem(), NativeFolders(), dir.Path(), true, inbox);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (model.reading() && std::chrono::steady_clock::now() < deadline) {
    std::unique_lock<std::mutex> lock(mutex);
    notified.wait_until(lock, deadline, [&] { return notices > 0; });
    notices = 0;
    lock.unlock();
    inbox.Drain(model);
  }
  EXPECT_EQ(model.StatusText(), "5 из 5");
  EXPECT_EQ(Column(model, C::kFolder), (std::vector<std::string>{"", "", "sub", "sub", ""}));
}

TEST(LibraryRepair, OfTheUnfinishedShownGivesOneResultAndFreshRows) {
  ScratchFolder dir("rewindor-library");
  const Bytes unfinished = Unfinished();
  LibraryFile mend{dir.Write("mend.dem", unfinished), "mend.dem"};
  Bytes inLoading = unfinished;
  inLoading.resize(kHeaderSize + 40);
  LibraryFile cut{dir.Write("cut.dem", inLoading), "cut.dem"};
  LibraryFile whole{dir.Write("whole.dem", Finished("Alpha")), "whole.dem"};
  LibraryFile gone{dir.Path() + "/gone.dem", "gone.dem"};

  const LibraryRepair result = RepairLibraryDemos(NativeFileSystem(), {mend, cut, whole, gone});
  EXPECT_EQ(result.recovered, 1u);
  EXPECT_EQ(result.refused, 3u);
  // The reasons of the cut and the gone demo are the system's or the repair's own.
  EXPECT_TRUE(std::regex_match(result.text, std::regex("Починено: 1\nmend\\.dem: Демка починена! Время: 0:01.*\n\n"
                                                       "Не починено: 3\ncut\\.dem: .+\n"
                                                       "whole\\.dem: Демка цела, чинить нечего\\.\n"
                                                       "gone\\.dem: Нельзя открыть demo-файл: .+")))
      << result.text;
  ASSERT_EQ(result.refreshed.size(), 4u);
  EXPECT_EQ(result.refreshed[0].state, DemoState::kFinished);
  EXPECT_GT(result.refreshed[0].file.size, unfinished.size());
  EXPECT_EQ(result.refreshed[1].state, DemoState::kUnfinished);
  EXPECT_EQ(result.refreshed[3].state, DemoState::kReadError);

  // A long list is cut short, with the number left out.
  std::vector<LibraryFile> many(kMaxRepairLines + 2, gone);
  const std::string text = RepairLibraryDemos(NativeFileSystem(), many).text;
  EXPECT_TRUE(text.ends_with("\n...и ещё 2")) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<std::ptrdiff_t>(kMaxRepairLines + 1));
}

// ---------------------------------------------------------------------------
// The layout.

TEST(LibraryLayout, KeptBesideTheSettingsAndOnlySaneValuesRead) {
  FakeRegistry registry;
  registry.keys["Software\\Kobaltix\\Rewindor\\Settings"]["Path"] = FakeRegistry::Text("C:\\hl.exe");
  EXPECT_FALSE(LoadLibraryLayout(registry, 9).window);  // never saved

  LibraryLayout layout;
  layout.window = LayoutRect{-1200, 40, -200, 700};  // on a screen left of the main one
  layout.columnWidths = {150, 80, 50, 50, 160, 120, 110, 70, 12};
  EXPECT_TRUE(SaveLibraryLayout(registry, layout));
  LibraryLayout back = LoadLibraryLayout(registry, 9);
  EXPECT_EQ(back.window, layout.window);
  EXPECT_EQ(back.columnWidths, layout.columnWidths);
  EXPECT_EQ(registry.keys["Software\\Kobaltix\\Rewindor\\Settings"].size(), 1u);
  EXPECT_TRUE(LoadLibraryLayout(registry, 8).columnWidths.empty());  // another table

  auto& values = registry.keys[kLibraryLayoutKey];
  for (RegistryValue bad : {FakeRegistry::Text("x"), RegistryValue{kRegistryBinaryType, Bytes(15, 1)},
                            RegistryValue{kRegistryBinaryType, Bytes(17, 1)}}) {
    values[kLibraryWindowValue] = bad;
    EXPECT_FALSE(LoadLibraryLayout(registry, 9).window);
  }
  for (LayoutRect r : {LayoutRect{10, 10, 10, 500}, LayoutRect{0, 0, 1 << 20, 600}}) {
    SaveLibraryLayout(registry, {r, {}});
    EXPECT_FALSE(LoadLibraryLayout(registry, 9).window) << r.right;
  }
  SaveLibraryLayout(registry, {std::nullopt, {1, 2, 3, 4, 5, 6, 7, 8, -1}});
  EXPECT_TRUE(LoadLibraryLayout(registry, 9).columnWidths.empty());
  // A column of no width leaves the table empty for good: all the defaults instead.
  SaveLibraryLayout(registry, {std::nullopt, {150, 80, 50, 50, 160, 120, 110, 70, 0}});
  EXPECT_TRUE(LoadLibraryLayout(registry, 9).columnWidths.empty());
  SaveLibraryLayout(registry, {std::nullopt, {150, 80, 50, 11, 160, 120, 110, 70, 50}});
  EXPECT_TRUE(LoadLibraryLayout(registry, 9).columnWidths.empty());
  registry.createFailures[kLibraryLayoutKey] = FakeRegistry::kAccessDenied;
  EXPECT_FALSE(SaveLibraryLayout(registry, layout));
}

// A dialog kept on a screen that is gone, or larger than the one it comes back
// to, is put wholly on the screen it is shown on.
TEST(LibraryLayout, ARectangleOffTheScreenIsMovedAndShrunkOntoIt) {
  const LayoutRect screen{0, 0, 1280, 1000};
  EXPECT_EQ(MoveInto({100, 50, 900, 650}, screen), (LayoutRect{100, 50, 900, 650}));  // on it: kept
  EXPECT_EQ(MoveInto({-1200, 40, -200, 700}, screen), (LayoutRect{0, 40, 1000, 700}));
  EXPECT_EQ(MoveInto({1000, 900, 1800, 1500}, screen), (LayoutRect{480, 400, 1280, 1000}));
  EXPECT_EQ(MoveInto({-50, -20, 2000, 1100}, screen), screen);  // larger: the whole screen
  // A second screen left of the first, its work area below a taskbar at the top.
  EXPECT_EQ(MoveInto({-3000, 0, -2000, 500}, {-1920, 40, 0, 1080}), (LayoutRect{-1920, 40, -920, 540}));
  // The farthest values the layout reads cannot overflow.
  constexpr std::int32_t far = (1 << 16) - 1;
  EXPECT_EQ(MoveInto({-far, -far, far, far}, screen), screen);
}

}  // namespace
}  // namespace rewindor
