// Leaks of system libraries that Qt keeps for the life of the process, which the leak checker of
// the sanitizer build is told to pass over (it asks this hook at start-up): fontconfig's patterns
// behind Qt's font fallback cache, and the loader state Qt's PDF module keeps of a document that
// asks for a password (a few kilobytes a document; the program renders PDF pages in a child
// process that ends after one page). None of our own allocations is listed.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:QPdfDocumentPrivate::tryLoadDocument\n"
           "leak:QPdfDocumentPrivate::initiateAsyncLoadWithTotalSizeKnown\n";
}
