/* A shared library with none of the functions of the libraries opened on first use: the tests
 * install it under their sonames, as another make of them would be. */
int drivescout_stand_in_library(void) {
    return 0;
}
