/* The benchmark's measures of fixed costs: an empty program (-DEMPTY), one linked with
 * libwayland-client (default), and one that loads it by soname at run time, as monitor_listing
 * does (-DDLOPEN). It does not wait for input. */
#include <dlfcn.h>

int main(void)
{
#ifdef DLOPEN
    return dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL) == 0;
#else
    return 0;
#endif
}
