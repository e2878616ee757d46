#pragma once

// Under the address sanitizer the heap keeps freed memory in quarantine and pads every block:
// what a test measures of memory there says nothing of the program as shipped.
#if defined(__SANITIZE_ADDRESS__)
#define TROVANEL_HEAP_IS_INSTRUMENTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TROVANEL_HEAP_IS_INSTRUMENTED 1
#endif
#endif
