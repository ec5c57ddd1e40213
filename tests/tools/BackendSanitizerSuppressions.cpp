// The network library is not built with ThreadSanitizer, so the reference count
// that hands each accepted socket from the accepting thread to the thread that
// serves it is invisible to the sanitizer. When the accepting thread happens to
// drop the last reference after the connection was served, freeing the socket
// looks like a race with the serving thread's earlier reads of it. Only reports
// with the accepting loop in them are suppressed, as the project's suppression
// file does for the TLS library; the file's suppressions still apply as well.
extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions() {
    return "race:Poco::Net::TCPServer::run\n";
}
