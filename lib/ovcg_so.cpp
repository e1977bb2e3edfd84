// The shared library is assembled from the subsystem archives; this unit only
// gives the linker a translation unit of its own.
namespace {
[[maybe_unused]] const char kLibraryName[] = "ovcg";
}
