// The OpenMP runtime the DXT library's archive asks for, run on one thread.
//
// The packaged DXT library spreads its whole-image loops over threads with
// OpenMP; the tool only compresses and decodes single blocks, so those loops
// never run in it. GCC's own runtime has no archive that links into a wholly
// static program without the linker warning that it may load shared objects,
// so the tool brings these three entry points instead: a parallel region is
// one call on the calling thread, which is what OpenMP does with one thread.
extern "C" {

void GOMP_parallel(void (*region)(void*), void* data, unsigned /*threads*/, unsigned /*flags*/) {
    region(data);
}

int omp_get_num_threads() {
    return 1;
}

int omp_get_thread_num() {
    return 0;
}

} // extern "C"
