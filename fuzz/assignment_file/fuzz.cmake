dk_add_fuzzer(assignment_file LIBS dk_config dk_platform)
