// Compiles the precompiled GoogleTest header that a directory's test files
// reuse.  Linked with gtest_main, it is an empty test program.
