#include "Support/TestCase.h"

#include "Support/LogHook.h"
#include "Support/TestEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace test {

namespace {

std::string safeName(std::string name)
{
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            c = '_';
    }
    return name;
}

} // namespace

void TestCase::SetUp()
{
    fs::create_directories(TANDRY_TEST_HOMES);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string pattern = std::string(TANDRY_TEST_HOMES) + "/"
        + safeName(std::string(info->test_suite_name()) + "." + info->name()) + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(mkdtemp(buffer.data()), nullptr) << "cannot make a test home from " << pattern;
    m_home = buffer.data();
    LogHook::begin();
    TestEnvironment::begin(m_home);
}

void TestCase::TearDown()
{
    TestEnvironment::end();
    LogHook::end();
    if (m_home.empty())
        return;
    if (HasFailure()) {
        std::fprintf(stderr, "test home kept: %s\n", m_home.c_str());
        return;
    }
    std::error_code error;
    // Tests may leave read-only folders behind; make them writable first.
    for (auto it = fs::recursive_directory_iterator(m_home, error); !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(m_home, error);
}

std::string TestCase::pathInHome(std::string_view relative) const
{
    return m_home + "/" + std::string(relative);
}

std::string TestCase::makeFile(std::string_view relative, std::string_view contents)
{
    std::string path = pathInHome(relative);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    EXPECT_TRUE(out.good()) << "cannot write " << path;
    return path;
}

std::string TestCase::makeFolder(std::string_view relative)
{
    std::string path = pathInHome(relative);
    fs::create_directories(path);
    return path;
}

std::string TestCase::readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::vector<std::string> TestCase::logLines() const
{
    return LogHook::lines();
}

bool TestCase::logContains(std::string_view text) const
{
    for (const auto& line : LogHook::lines()) {
        if (line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

std::string TestCase::sourcePath(std::string_view relative)
{
    return std::string(TANDRY_SOURCE_DIR) + "/" + std::string(relative);
}

} // namespace test
