// The machine's fuzz targets run in a scratch folder of their own, where
// the data files a program opens land and are removed again.
#pragma once

// Moves into a new scratch folder (removed at exit), making the arguments'
// paths absolute first, and sends standard output (CON_OUT) to /dev/null;
// libFuzzer reports on standard error. For LLVMFuzzerInitialize.
void enter_scratch_folder(int* argc, char*** argv);

// Removes the data files of the last input from the scratch folder.
void remove_data_files();
