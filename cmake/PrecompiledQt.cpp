// The object the precompiled Qt headers are built with; it holds nothing.
