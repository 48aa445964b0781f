// Built into the test program: read by LeakSanitizer when the tests run under AddressSanitizer.
//
// libx265 (3.5, used only to encode the tests' H.265 streams) leaks a few buffers of each
// encoder it opens and closes; nothing of Lumadec's is hidden by this.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}
