// Loads and unloads the built library as an application would, to see the
// settings read at load and written at unload.
#include <tarvel/pdc.h>

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::filesystem::path SettingsFile()
{
    return std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "tarvel/Software/Velmora/Tarvel.reg";
}

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Keeps every library loaded so far resident for good. cairo and FLTK
// allocate in their static constructors and never free it; unloaded
// together with ours they would read as leaks of this test.
int PinLoadedObject(dl_phdr_info* info, size_t, void*)
{
    if (info->dlpi_name && info->dlpi_name[0] && !std::strstr(info->dlpi_name, "libtarvel"))
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}

// One load of the library: dlopen in the constructor, dlclose in the destructor.
class LoadedLibrary {
public:
    LoadedLibrary() : handle(dlopen(TARVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL))
    {
        dl_iterate_phdr(PinLoadedObject, nullptr);
    }
    ~LoadedLibrary() { Unload(); }
    void Unload()
    {
        if (handle) {
            EXPECT_EQ(dlclose(handle), 0) << dlerror();
        }
        handle = nullptr;
    }
    template <typename Function>
    Function* Find(const char* name)
    {
        return reinterpret_cast<Function*>(dlsym(handle, name));
    }
    void* handle;
};

int CountLines(const std::string& text, const std::string& prefix)
{
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        count += line.find(prefix) != std::string::npos;
    return count;
}

TEST(LibraryLoad, UnloadWritesTheThirteenSettingsAndTheNextLoadReadsThemBack)
{
    std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
    {
        LoadedLibrary library;
        ASSERT_NE(library.handle, nullptr) << dlerror();
        auto version = library.Find<int()>("PDC_GetVersion");
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version(), 1000);
        EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
        library.Unload();
        ASSERT_TRUE(std::filesystem::exists(SettingsFile()));
    }
    std::string saved = ReadFile(SettingsFile());
    EXPECT_EQ(CountLines(saved, "=dword:"), 13);
    EXPECT_NE(saved.find("Printer=dword:00000000\n"), std::string::npos);
    EXPECT_NE(saved.find("end 13\n"), std::string::npos);

    // Change two values behind the library's back: a load must pick them up,
    // and the unload after it must write them back unchanged.
    std::string edited = saved;
    edited.replace(edited.find("Printer=dword:00000000"), 22, "Printer=dword:00000004");
    edited.replace(edited.find("CustomSizeX=dword:00000000"), 26, "CustomSizeX=dword:00001234");
    std::ofstream(SettingsFile()) << edited;
    {
        LoadedLibrary library;
        ASSERT_NE(library.handle, nullptr) << dlerror();
    }
    EXPECT_EQ(ReadFile(SettingsFile()), edited);
}

TEST(LibraryLoad, ABrokenStoreStillLoadsWithDefaults)
{
    std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
    std::filesystem::create_directories(SettingsFile());  // a folder where the file should be
    LoadedLibrary library;
    ASSERT_NE(library.handle, nullptr) << dlerror();
    EXPECT_EQ(library.Find<int()>("PDC_GetVersion")(), 1000);
    library.Unload();
    EXPECT_TRUE(std::filesystem::is_directory(SettingsFile()));
}

}  // namespace
