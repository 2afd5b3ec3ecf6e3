dk_add_fuzzer(sim_http LIBS dk_sim)
