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
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

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
    LoadedLibrary()
        : handle(dlopen(TARVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL))
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

// Allocations made while one lives are not leaks to the leak checker.
#if defined(__SANITIZE_ADDRESS__)
using StockObjectsOutliveTheLibrary = __lsan::ScopedDisabler;
#else
struct StockObjectsOutliveTheLibrary { };
#endif

TEST(LibraryLoad, UnloadWritesWhatTheDialogSet)
{
    std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"));
    {
        // The default answer of the headless dialogs confirms at once.
        LoadedLibrary library;
        ASSERT_NE(library.handle, nullptr) << dlerror();
        EXPECT_EQ(library.Find<int()>("PDC_GetVersion")(), 1000);
        ASSERT_TRUE(library.Find<BOOL(int)>("TarvelUiSelectBackend")(1));
        PAGESETUPDLGW request{};
        request.lStructSize = sizeof request;
        request.Flags = PSD_MARGINS | PSD_INHUNDREDTHSOFMILLIMETERS;
        request.rtMargin = RECT{1000, 1000, 1000, 1000};
        {
            // The printer DC brings the graphics layer's stock objects into
            // being; they live as long as the process and are not freed
            // when the library is unloaded.
            StockObjectsOutliveTheLibrary stock;
            ASSERT_EQ(library.Find<BOOL(PAGESETUPDLGW*)>("PDC_PageSetupDlg")(&request), 1);
        }
    }
    // The store's layout, and that an unchanged device saves nothing, are
    // the device's to prove; here only that the unload wrote what the
    // dialog set.
    const std::string saved = ReadFile(SettingsFile());
    EXPECT_NE(saved.find("MarginLeft=dword:000003e8\n"), std::string::npos) << saved;
}

}  // namespace
