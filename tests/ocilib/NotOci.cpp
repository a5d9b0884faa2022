// A shared object that loads but offers none of the call interface.
extern "C" __attribute__((visibility("default"))) int vestra_not_oci() {
    return 42;
}
