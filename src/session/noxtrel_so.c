/* The shared library is noxtrel_core linked whole; exports.map keeps only the Nx functions visible. */
