#include "engine/isv_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

namespace {

// 09:05:03 local time on 2026-03-04.
time_t FixedTime() {
    struct tm t {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 4;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    t.tm_isdst = -1;
    return mktime(&t);
}
time_t FixedClock() { return FixedTime(); }

const std::string kStem = "HTM1_20260304_090503_";

std::string Header(const std::string& label) {
    return "\n-----[09:05:03]-----<< " + label + " >>--------------------\n";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void Touch(const std::string& path, const std::string& content = "") {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

class IsvLog : public ::testing::Test {
protected:
    std::vector<std::string> Entries(const std::string& path) const {
        std::vector<std::string> names;
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    ovcg_test::TempDir tmp;
    const std::string root_ = tmp.path(), dir_ = root_ + "/";
};

TEST_F(IsvLog, WithoutTheDirectoryNothingIsWritten) {
    const std::string missing = dir_ + "missing/";
    {
        CISVLog log(missing.c_str(), &FixedClock);
        EXPECT_FALSE(log.Enabled());
        for (int i = 0; i < 1000; ++i) log._MESSAGE_X("UNAXAPI2::BandOut()", "band %d\n", i);
        // The directory appearing later in the job does not start the log.
        ASSERT_EQ(mkdir(missing.c_str(), 0755), 0);
        log._MESSAGE_X("L", "late\n");
    }
    CISVLog::StaticMessageIn((dir_ + "gone/").c_str(), &FixedClock, "L", "x");
    EXPECT_EQ(Entries(root_), std::vector<std::string>{"missing"});
    EXPECT_TRUE(Entries(missing).empty());
}

TEST_F(IsvLog, FileNameHeadersAndBodies) {
    std::string path;
    {
        CISVLog log(dir_.c_str(), &FixedClock);
        ASSERT_TRUE(log.Enabled());
        path = log.Path();
        EXPECT_EQ(path, dir_ + kStem + "00.log");
        log._MESSAGE_X("UNAXAPI2::InitJob()", "value=%d %s\n", 42, "ok");
        EXPECT_EQ(ReadFile(path), Header("HTM1 Log Start") + path + "\n\n" + Header("UNAXAPI2::InitJob()") +
                                      "value=42 ok\n");
    }
    EXPECT_EQ(ReadFile(path), Header("HTM1 Log Start") + path + "\n\n" + Header("UNAXAPI2::InitJob()") +
                                  "value=42 ok\n" + Header("HTM1 Log End") + "\n\n");
}

TEST_F(IsvLog, TakesTheFirstFreeNumber) {
    Touch(dir_ + kStem + "00.log", "old");
    mkdir((dir_ + kStem + "01.log").c_str(), 0755);  // anything under a name takes it
    // A dangling link takes its name too: a probe that opens the name for
    // reading would see it free, and every message would then be refused.
    ASSERT_EQ(symlink((root_ + "/nowhere").c_str(), (dir_ + kStem + "02.log").c_str()), 0);
    {
        CISVLog log(dir_.c_str(), &FixedClock);
        EXPECT_EQ(std::string(log.Path()), dir_ + kStem + "03.log");
    }
    EXPECT_EQ(ReadFile(dir_ + kStem + "00.log"), "old");
    EXPECT_EQ(ReadFile(dir_ + kStem + "03.log").rfind(Header("HTM1 Log Start"), 0), 0u);
}

TEST_F(IsvLog, AllHundredTakenUsesNumber99) {
    for (int n = 0; n < 100; ++n) {
        char name[64];
        snprintf(name, sizeof name, "%s%02d.log", kStem.c_str(), n);
        Touch(dir_ + name, "");
    }
    char out[CISVLog::kPathSize];
    ASSERT_TRUE(CISVLog::GenerateFilePathIn(dir_.c_str(), FixedTime(), out));
    EXPECT_EQ(std::string(out), dir_ + kStem + "99.log");
    {
        CISVLog log(dir_.c_str(), &FixedClock);
        EXPECT_EQ(std::string(log.Path()), dir_ + kStem + "99.log");
    }
    EXPECT_EQ(ReadFile(dir_ + kStem + "99.log").rfind(Header("HTM1 Log Start"), 0), 0u);
}

TEST_F(IsvLog, TooLongADirectoryDisablesTheLog) {
    std::string deep = dir_;
    while (deep.size() < CISVLog::kPathSize - 20) {
        deep += "dddddddddd/";
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    CISVLog log(deep.c_str(), &FixedClock);
    EXPECT_FALSE(log.Enabled());
    char out[CISVLog::kPathSize];
    EXPECT_FALSE(CISVLog::GenerateFilePathIn(deep.c_str(), FixedTime(), out));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(Entries(deep).empty());
}

TEST_F(IsvLog, LongTextIsCutToTheBuffers) {
    CISVLog log(dir_.c_str(), &FixedClock);
    const std::string before = ReadFile(log.Path());
    const std::string label(1000, 'L');
    const std::string body(5000, 'b');
    log._MESSAGE_X(label.c_str(), "%s", body.c_str());
    const std::string added = ReadFile(log.Path()).substr(before.size());
    const std::string header = Header(label).substr(0, CISVLog::kHeaderSize - 1);
    ASSERT_EQ(added.size(), header.size() + CISVLog::kBodySize - 1);
    EXPECT_EQ(added.substr(0, header.size()), header);
    EXPECT_EQ(added.substr(header.size()), body.substr(0, CISVLog::kBodySize - 1));
}

TEST_F(IsvLog, NewFileIsRegularWithMode0664) {
    const mode_t old = umask(0);
    std::string path;
    {
        CISVLog log(dir_.c_str(), &FixedClock);
        path = log.Path();
    }
    umask(old);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0664u);
}

TEST_F(IsvLog, APlantedSymbolicLinkIsNeverFollowed) {
    const std::string target = root_ + "/target.txt";
    Touch(target, "precious");
    CISVLog log(dir_.c_str(), &FixedClock);
    const std::string path = log.Path();
    // Swap the log file for a link to another file between two messages.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    log._MESSAGE_X("L", "through the link\n");
    EXPECT_EQ(ReadFile(target), "precious");
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link(path.c_str()), nullptr);

    // A dangling link is not followed to create its target either.
    const std::string dangling = dir_ + "dangling.log";
    const std::string nowhere = root_ + "/created-through-link";
    ASSERT_EQ(symlink(nowhere.c_str(), dangling.c_str()), 0);
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link(dangling.c_str()), nullptr);
    struct stat st;
    EXPECT_NE(lstat(nowhere.c_str(), &st), 0);
}

TEST_F(IsvLog, HardLinkedAndNonRegularFilesAreRefused) {
    const std::string outside = root_ + "/outside.txt";
    Touch(outside, "keep");
    const std::string linked = dir_ + "linked.log";
    ASSERT_EQ(link(outside.c_str(), linked.c_str()), 0);
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link(linked.c_str()), nullptr);
    EXPECT_EQ(ReadFile(outside), "keep");

    const std::string sub = dir_ + "sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link(sub.c_str()), nullptr);
    const std::string fifo = dir_ + "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link(fifo.c_str()), nullptr);
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link(nullptr), nullptr);
    EXPECT_EQ(CISVLog::fopen_at_avoiding_link((dir_ + "no/such/dir.log").c_str()), nullptr);

    // An ordinary file is opened for appending, and closed on exec.
    const std::string plain = dir_ + "plain.log";
    Touch(plain, "a");
    FILE* f = CISVLog::fopen_at_avoiding_link(plain.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_NE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC, 0);
    fputs("b", f);
    fclose(f);
    EXPECT_EQ(ReadFile(plain), "ab");
}

TEST_F(IsvLog, StaticMessagesEachGetAFileOfTheirOwn) {
    CISVLog::StaticMessageIn(dir_.c_str(), &FixedClock, "UNAXAPI2::BandOut()", "Illegal HPLIMO3 handle   ErrorCode=%d\n\n",
                             -5);
    CISVLog::StaticMessageIn(dir_.c_str(), &FixedClock, "UNAXAPI2::InitPage()", "second\n");
    EXPECT_EQ(Entries(root_), (std::vector<std::string>{kStem + "00.log", kStem + "01.log"}));
    EXPECT_EQ(ReadFile(dir_ + kStem + "00.log"),
              Header("UNAXAPI2::BandOut()") + "Illegal HPLIMO3 handle   ErrorCode=-5\n\n");
    EXPECT_EQ(ReadFile(dir_ + kStem + "01.log"), Header("UNAXAPI2::InitPage()") + "second\n");
}

TEST_F(IsvLog, MessagesFromSeveralThreadsNeverInterleave) {
    std::string path;
    const std::string body(1500, 'x');
    {
        CISVLog log(dir_.c_str(), &FixedClock);
        path = log.Path();
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&log, &body, t] {
                for (int i = 0; i < 50; ++i) log._MESSAGE_X("T", "%d:%s\n", t, body.c_str());
            });
        for (auto& th : threads) th.join();
    }
    const std::string text = ReadFile(path);
    size_t count = 0;
    for (int t = 0; t < 4; ++t) {
        const std::string one = Header("T") + std::to_string(t) + ":" + body + "\n";
        for (size_t at = text.find(one); at != std::string::npos; at = text.find(one, at + 1)) ++count;
    }
    EXPECT_EQ(count, 200u);
}

}  // namespace
