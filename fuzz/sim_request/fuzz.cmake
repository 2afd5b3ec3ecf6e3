dk_add_fuzzer(sim_request LIBS dk_sim)
