int qz_filters_placeholder = 0;
