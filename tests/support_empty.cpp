// Placeholder unit so the support library exists before it has sources.
namespace ovcg_test {}
