dk_add_fuzzer(ini_reader LIBS dk_config dk_platform)
