/* bindstate.h: the states of the binding of the module's own imports, one
   definition for lib/bind.cpp and the generated entry thunks (assembly). */
#ifndef BINDSTATE_H
#define BINDSTATE_H

/* Not bound: nothing has begun, or a binding failed and wrote nothing. */
#define QEL_BIND_UNTOUCHED 0
/* A thread looks everything up and opens the pages it will write. */
#define QEL_BIND_BINDING 1
/* Relocated and bound: the thunks jump straight to the functions. */
#define QEL_BIND_BOUND 2
/* A thread writes the image: a thread that finds this state left behind by
   a binder that died knows the image half written. */
#define QEL_BIND_WRITING 3

#endif
